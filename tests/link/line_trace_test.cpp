// The line trace and the sector map of whole runs against the emulated handset.
#include "tests/support/emulated_run.h"

#include "flash/dwl10sectormap.h"
#include "link/line_step.h"
#include "link/line_trace.h"
#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "link/serial_device.h"
#include "link/trace_gather.h"
#include "tests/support/scripted_line.h"
#include "tests/support/trace_lines.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testsupport::readTrace;
using testsupport::TraceEntry;
using xfer::EmulatedRun;

class LineTrace : public ::testing::Test {
  protected:
    void SetUp() override { path_ = dir_.file("run.trace"); }
    void TearDown() override { dwl12_TraceStop(); }
    testsupport::TempDir dir_;
    std::string path_;
};

TEST_F(LineTrace, ModeFiveRunHoldsTheStepsInOrder) {
    EmulatedRun run;
    sg_DownloadContext.Pmu = 1;
    ASSERT_EQ(dwl12_TraceStart(path_.c_str(), false, false), 0);
    ASSERT_EQ(run.start(5).family, 0);
    dwl12_TraceStop();

    const char* order[] = {"wake-up",
                           "chip selects",
                           "bootstrap data frame 1",
                           "start",
                           "identification",
                           "GPIO",
                           "speed frame",
                           "speed check",
                           "PMU",
                           "extension module",
                           "sector command 0x02000000",
                           "sector data 0x02000000",
                           "acknowledgement 0x02000000",
                           "sector command 0x02010000",
                           "TFS start",
                           "TFS version",
                           "directory count",
                           "directory 0",
                           "directory 1",
                           "file count",
                           "file header 0",
                           "file block 0",
                           "close 0",
                           "file block 1",
                           "end",
                           "checksum",
                           "switch-off"};
    const std::vector<TraceEntry> trace = readTrace(path_);
    size_t at = 0;
    for (const char* step : order) {
        while (at < trace.size() && trace[at].step.rfind(step, 0) != 0)
            ++at;
        ASSERT_LT(at, trace.size()) << "step \"" << step << "\" missing or out of order";
    }
    // The line's events: opened at the boot settings, the speed change, closed nowhere yet.
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front().what, "open");
    EXPECT_EQ(trace.front().settings, "38400 8E1");
    bool fast = false;
    for (const TraceEntry& e : trace)
        fast = fast || (e.what == "speed" && e.settings == "460800 8N1");
    EXPECT_TRUE(fast);
    // Bulk data is summarised: a whole 8192-byte piece is one short line.
    bool summarised = false;
    for (const TraceEntry& e : trace)
        summarised = summarised || (e.what == "PC>HS" && e.step == "sector data 0x02000000" &&
                                    e.data.find(" .. ") != std::string::npos &&
                                    e.data.find("(8192 bytes, sum 0x") != std::string::npos);
    EXPECT_TRUE(summarised);
}

TEST_F(LineTrace, FullDataEqualsWhatTheHandsetReceived) {
    EmulatedRun run;
    ASSERT_EQ(dwl12_TraceStart(path_.c_str(), false, true), 0);
    ASSERT_EQ(run.start(5).family, 0);
    dwl12_TraceStop();

    EXPECT_EQ(testsupport::tracedBytes(readTrace(path_), "PC>HS"),
              run.handset().recording().lineBytes);
}

// The sector map after runs of the binary image (70000 bytes: eight 8 KB sectors, then the
// sector at 0x02010000 with the rest) with faults on one sector, or the operator's stop there.
TEST(SectorMapModel, TriesAndResultsOfEachSector) {
    constexpr uint32_t kFirst = 0x02000000u;
    constexpr uint32_t kBig = 0x02010000u;
    struct Case {
        const char* name;
        int badChecksums;
        int rejects;
        bool silent;
        bool stop; // the operator stops the run while the sector is being written
        uint8_t state;
        uint8_t tries;
        const char* stoppedAt; // step the run stopped at, when it failed
    };
    const Case cases[] = {
        {"clean", 0, 0, false, false, SECTOR_WRITTEN, 1, nullptr},
        {"one bad checksum", 1, 0, false, false, SECTOR_RESENT, 2, nullptr},
        {"one rejection", 0, 1, false, false, SECTOR_RESENT, 2, nullptr},
        {"bad checksum each time", 3, 0, false, false, SECTOR_FAILED, 3,
         "acknowledgement 0x02010000 sum 0x"},
        {"no acknowledgement", 0, 0, true, false, SECTOR_FAILED, 1,
         "acknowledgement 0x02010000 sum 0x"},
        {"stopped", 0, 0, false, true, SECTOR_CANCELLED, 1, "acknowledgement 0x02010000 sum 0x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::FaultConfig faults;
        if (c.badChecksums > 0) {
            faults.badChecksumSectors = {kBig};
            faults.badChecksumTimes = c.badChecksums;
        }
        if (c.rejects > 0) {
            faults.rejectSectors = {kBig};
            faults.rejectTimes = c.rejects;
        }
        if (c.silent) {
            faults.silentFrom = sim::Step::SectorAck;
            faults.silentOccurrence = 8;
        }
        // A stop comes while the bytes are on the wire: the line keeps their pace then.
        EmulatedRun run(faults, false, xfer::kDevice, 70000, 30000, c.stop);
        if (c.stop)
            rs232_SetWaitHook([] {
                const SectorRecord* s = dwl10_86FindSector(0x02010000u);
                if (s != nullptr && s->State == SECTOR_WRITING) rs232_Cancel();
            });
        const ResultRecord r = run.start(1);
        rs232_SetWaitHook(nullptr);
        rs232_ClearCancel();
        EXPECT_EQ(r.family == 0, c.stoppedAt == nullptr);

        ASSERT_EQ(sg_SectorMap.NbSectors, 263u);
        const SectorRecord* first = dwl10_86FindSector(kFirst);
        const SectorRecord* big = dwl10_86FindSector(kBig);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(first->State, SECTOR_WRITTEN);
        EXPECT_EQ(first->BytesSent, 8192u);
        EXPECT_EQ(big->State, c.state);
        EXPECT_EQ(big->Tries, c.tries);
        EXPECT_EQ(big->BytesSent, 70000u - 65536u);
        EXPECT_EQ(big->Size, 65536u);
        EXPECT_EQ(big->Image, SECTOR_BINARY);
        const SectorRecord* after = dwl10_86FindSector(kBig + 0x10000);
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(after->State, SECTOR_UNTOUCHED);
        EXPECT_EQ(after->Image, SECTOR_NO_IMAGE);
        if (c.stoppedAt != nullptr) {
            char step[128];
            dwl12_FormatLineStep(step, sizeof step);
            EXPECT_EQ(std::string(step).rfind(c.stoppedAt, 0), 0u) << step;
            uint8_t last[DWL_LAST_BYTES];
            const int n = dwl12_LastLineBytes(true, last, DWL_LAST_BYTES);
            EXPECT_EQ(n, DWL_LAST_BYTES);
            // The last bytes sent are the end of the image.
            EXPECT_TRUE(std::equal(last, last + n, run.cla.end() - n));
        }
    }
}

// A failure report shows the bytes of its own run, not those of the run before it.
TEST(FailureReport, ARunKeepsOnlyItsOwnLastBytes) {
    {
        EmulatedRun before;
        ASSERT_EQ(before.start(5).family, 0);
    }
    sim::FaultConfig faults;
    faults.silentFrom = sim::Step::WakeUp;
    EmulatedRun silent(faults);
    EXPECT_NE(silent.start(5).family, 0);
    uint8_t last[DWL_LAST_BYTES];
    EXPECT_EQ(dwl12_LastLineBytes(false, last, DWL_LAST_BYTES), 0);
    // Only the answer to the wake-up went out, after the silence.
    ASSERT_EQ(dwl12_LastLineBytes(true, last, DWL_LAST_BYTES), 1);
    EXPECT_EQ(last[0], 0x44);
}

// The line format, column by column; bulk chunks summarised unless full data was asked for.
TEST(LineTraceFormat, ColumnsSummariesAndEvents) {
    std::vector<uint8_t> bytes(200);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i);
    auto hex = [&](size_t from, size_t count) {
        std::string out;
        for (size_t i = from; i < from + count; ++i) {
            char two[4];
            std::snprintf(two, sizeof two, "%s%02X", out.empty() ? "" : " ", bytes[i]);
            out += two;
        }
        return out;
    };
    const struct {
        double t;
        TraceWhat what;
        const char* settings;
        const char* step;
        size_t count; // bytes from 0 up; 0 for an event
        bool full;
        const char* detail;
        std::string line;
    } rows[] = {
        {0.0521, TRACE_HS_TO_PC, "38400 8E1", "wake-up", 1, false, nullptr,
         "     52100 HS>PC  38400 8E1   wake-up                  | 00"},
        {-1.0, TRACE_OPEN, nullptr, nullptr, 0, false, "COM4 /dev/ttyUSB0",
         "         0 open   -           -                        | COM4 /dev/ttyUSB0"},
        {0.0000004, TRACE_PC_TO_HS, "460800 8N1", "sector data", 32, false, nullptr,
         "         0 PC>HS  460800 8N1  sector data              | " + hex(0, 32)},
        {0.0000006, TRACE_PC_TO_HS, "460800 8N1", "sector data", 33, false, nullptr,
         "         1 PC>HS  460800 8N1  sector data              | " + hex(0, 16) + " .. " +
             hex(17, 16) + " (33 bytes, sum 0x00000210)"},
        {2.5, TRACE_PC_TO_HS, "460800 8N1", "sector data", 200, true, nullptr,
         "   2500000 PC>HS  460800 8N1  sector data              | " + hex(0, 200) +
             " (200 bytes, sum 0x00004DBC)"},
        {3, TRACE_CLOSE, "-", "end", 0, false, "",
         "   3000000 close  -           end                      |"},
        {3, TRACE_SPEED, "230400 8N1", "speed check", 0, false, nullptr,
         "   3000000 speed  230400 8N1  speed check              |"},
        {3, TRACE_DTR, "38400 8E1", "wake-up", 0, false, "off",
         "   3000000 DTR    38400 8E1   wake-up                  | off"},
        {3, TRACE_TIMEOUT, "38400 8E1", "wake-up", 0, false, "5 s",
         "   3000000 time-out 38400 8E1   wake-up                  | 5 s"},
        {3, TRACE_ERROR, "38400 8E1", "wake-up", 0, false, "5 Input/output error",
         "   3000000 error  38400 8E1   wake-up                  | 5 Input/output error"},
    };
    for (const auto& r : rows) {
        FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        TraceFile trace{f, r.full};
        dwl12_TraceLine(&trace, r.t, r.what, r.settings, r.step, r.count ? bytes.data() : nullptr,
                        r.count, r.detail);
        std::rewind(f);
        char text[1024] = "";
        ASSERT_NE(std::fgets(text, sizeof text, f), nullptr);
        std::fclose(f);
        EXPECT_EQ(std::string(text), r.line + "\n");
    }

    char settings[24];
    const char* const frames[] = {"8N1", "8O1", "8E1", "8M1", "8S1", "8?1", "8?1"};
    const int parities[] = {0, 1, 2, 3, 4, 5, -1};
    for (int i = 0; i < 7; ++i) {
        dwl12_TraceSettings(settings, sizeof settings, 38400, parities[i], 8, 1);
        EXPECT_EQ(std::string(settings), std::string("38400 ") + frames[i]);
    }
}

// The step a trace line and a failure report name, and how it is cut to a small buffer.
// Bytes a gathered line refuses (another step, past its limit) find that line written already:
// what the caller writes before its new line (a settings change, say) comes after it.
TEST(LineTraceFormat, AGatherThatRefusesBytesHasWrittenItsLine) {
    testsupport::TempDir dir;
    const std::string path = dir.file("gather.trace");
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    TraceFile trace{f, false, 0};
    TraceGather gather(TRACE_HS_TO_PC, 3);
    const uint8_t bytes[3] = {0x11, 0x22, 0x33};
    const auto written = [&] {
        std::fflush(f);
        std::vector<std::string> data;
        for (const TraceEntry& e : readTrace(path))
            data.push_back(e.data);
        return data;
    };
    gather.start(&trace, 0.5, "38400 8E1", "wake-up", 1, bytes, 2);
    EXPECT_TRUE(gather.add(&trace, 1, bytes + 2, 1));
    EXPECT_TRUE(written().empty());
    EXPECT_FALSE(gather.add(&trace, 2, bytes, 1)); // another step
    EXPECT_EQ(written(), std::vector<std::string>{"11 22 33"});
    gather.start(&trace, 0.6, "38400 8E1", "hello", 2, bytes, 2);
    EXPECT_FALSE(gather.add(&trace, 2, bytes, 2)); // past the limit
    EXPECT_EQ(written(), (std::vector<std::string>{"11 22 33", "11 22"}));
    std::fclose(f);
}

TEST(LineTraceFormat, StepLabels) {
    char text[64];
    const uint32_t serial = dwl12_LineStepSerial();
    dwl12_SetLineStep("wake-up");
    EXPECT_EQ(dwl12_FormatLineStep(text, sizeof text), 7u);
    EXPECT_STREQ(text, "wake-up");
    dwl12_SetLineStepNumber("TFS file", 12);
    dwl12_FormatLineStep(text, sizeof text);
    EXPECT_STREQ(text, "TFS file 12");
    dwl12_SetLineStepAddress("sector command", 0x02010000);
    dwl12_FormatLineStep(text, sizeof text);
    EXPECT_STREQ(text, "sector command 0x02010000");
    dwl12_SetLineStepSum("acknowledgement", 0x02010000, 0xABCD);
    EXPECT_EQ(dwl12_FormatLineStep(text, sizeof text), 41u);
    EXPECT_STREQ(text, "acknowledgement 0x02010000 sum 0x0000ABCD");
    EXPECT_EQ(dwl12_FormatLineStep(text, 11), 10u);
    EXPECT_STREQ(text, "acknowledg");
    EXPECT_EQ(dwl12_FormatLineStep(text, 0), 0u);
    dwl12_ClearLineStep();
    dwl12_FormatLineStep(text, sizeof text);
    EXPECT_STREQ(text, "-");
    EXPECT_EQ(dwl12_LineStepSerial(), serial + 5) << "each new step counts";
}

// A block read that ends early is a time-out on the trace, one with nothing read included; a
// read or write of a device that went away is an error with the device's reason; DTR changes
// are events.
TEST_F(LineTrace, ReadEndingsErrorsAndDtrAreEvents) {
    testsupport::ScriptedLine line;
    ASSERT_EQ(dwl12_TraceStart(path_.c_str(), false, false), 0);
    ASSERT_EQ(OpenComConfig(4, "COM4", 38400, 2, 8, 1, 512, 512), 0);
    line.reply({0x11, 0x22});
    uint8_t buffer[4];
    EXPECT_EQ(ComRd(4, buffer, 4), 2);
    EXPECT_EQ(ComRd(4, buffer, 4), 0);
    ComSetEscape(4, SETDTR);
    ComSetEscape(4, CLRDTR);
    line.lose("/dev/ttyUSB0: Input/output error");
    EXPECT_LT(ComRd(4, buffer, 4), 0);
    EXPECT_LT(ComRdByte(4), 0);
    EXPECT_LT(ComWrt(4, buffer, 1), 0);
    CloseCom(4);
    // A closed port's lines are in the file at once, while the trace goes on.
    const std::vector<TraceEntry> whileTracing = readTrace(path_);
    ASSERT_FALSE(whileTracing.empty());
    EXPECT_EQ(whileTracing.back().what, "close");
    dwl12_TraceStop();
    std::vector<std::string> whats;
    for (const TraceEntry& e : readTrace(path_))
        whats.push_back(e.data.empty() ? e.what : e.what + " " + e.data);
    const std::string lost = "error -4 /dev/ttyUSB0: Input/output error";
    EXPECT_EQ(whats, (std::vector<std::string>{"open COM4", "HS>PC 11 22", "time-out", "time-out",
                                               "DTR on", "DTR off", lost, lost, lost, "close"}));
}

// Bytes read just before the port closes are the handset's last words: the close writes them.
TEST_F(LineTrace, TheLastReadIsWrittenAtTheClose) {
    testsupport::ScriptedLine line;
    ASSERT_EQ(dwl12_TraceStart(path_.c_str(), false, false), 0);
    ASSERT_EQ(OpenComConfig(4, "COM4", 38400, 2, 8, 1, 512, 512), 0);
    line.reply({0x33, 0x44});
    EXPECT_EQ(ComRdByte(4), 0x33);
    EXPECT_EQ(ComRdByte(4), 0x44);
    CloseCom(4);
    dwl12_TraceStop();
    std::vector<std::string> whats;
    for (const TraceEntry& e : readTrace(path_))
        whats.push_back(e.data.empty() ? e.what : e.what + " " + e.data);
    EXPECT_EQ(whats, (std::vector<std::string>{"open COM4", "HS>PC 33 44", "close"}));
}

} // namespace

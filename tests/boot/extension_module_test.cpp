// The extension module transfer: pieces, answers, the wrong answer that looks like success.
#include "boot/dwl1boot.h"
#include "boot/dwl1line.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "session/dwl_clock.h"
#include "tests/support/handset_programs.h"
#include "tests/support/scripted_line.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

class ExtensionModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(files.ok());
        ASSERT_EQ(dwl12_0UartInit(4, 460800, 0, 10), 1);
    }
    // Answers 0xEE with C0 and four bytes; answers the module (its last write) with `done`.
    void answerWith(uint8_t accept, uint8_t done, size_t moduleSize) {
        line.setResponder(
            [=, received = size_t(0)](const Bytes& w, testsupport::ScriptedLine& l) mutable {
                if (w.size() == 1 && w[0] == 0xEE && received == 0) {
                    l.reply({accept, 1, 2, 3, 4});
                    return;
                }
                received += w.size();
                if (received == moduleSize) l.reply({done});
            });
    }
    bootsupport::HandsetPrograms files;
    testsupport::ScriptedLine line;
};

TEST_F(ExtensionModule, LongModuleGoesInPiecesOfEightKilobytes) {
    Bytes module = files.writeExtension(19999);
    ASSERT_EQ(module.size(), 20000u);
    answerWith(0xC0, 0x63, module.size());

    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 1);

    ASSERT_EQ(line.writes().size(), 4u);
    EXPECT_EQ(line.writes()[0], Bytes{0xEE});
    EXPECT_EQ(line.writes()[1].size(), 8192u);
    EXPECT_EQ(line.writes()[2].size(), 8192u);
    EXPECT_EQ(line.writes()[3].size(), 3616u);
    Bytes sent(line.written().begin() + 1, line.written().end());
    EXPECT_EQ(sent, module);
    EXPECT_GE(line.outQueuePolls, 3) << "each piece waits for the empty output queue";
}

TEST_F(ExtensionModule, ModuleOfExactlyOnePieceHasNoRemainderWrite) {
    Bytes module = files.writeExtension(8191);
    answerWith(0xC0, 0x63, module.size());

    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 1);

    ASSERT_EQ(line.writes().size(), 2u);
    EXPECT_EQ(line.writes()[1], module);
}

TEST_F(ExtensionModule, ShortModuleGoesInOneWrite) {
    Bytes module = files.writeExtension(0);
    ASSERT_EQ(module, Bytes{0xFF});
    answerWith(0xC0, 0x63, module.size());

    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 1);
    ASSERT_EQ(line.writes().size(), 2u);
    EXPECT_EQ(line.writes()[1], module);
}

TEST_F(ExtensionModule, WrongAcceptanceIsReturnedAsTheByte) {
    files.writeExtension(100);
    answerWith(0xC1, 0x63, 101);

    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 0xC1);
    EXPECT_EQ(line.writes().size(), 1u) << "no module after a refusal";
    EXPECT_STREQ(ma_Comment, " COMMAND : extension module refused (0xC1) ");
}

TEST_F(ExtensionModule, AnswerOneIsNeverTakenForSuccess) {
    files.writeExtension(100);
    answerWith(0x01, 0x63, 101);
    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 0x101);

    testsupport::ScriptedLine own;
    ASSERT_EQ(dwl12_0UartInit(4, 460800, 0, 10), 1);
    own.setResponder([](const Bytes& w, testsupport::ScriptedLine& l) {
        if (w == Bytes{0xEE})
            l.reply({0xC0, 0, 0, 0, 0});
        else
            l.reply({0x01});
    });
    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 0x101);
}

TEST_F(ExtensionModule, MissingFinalAnswerGivesTheTimeOutByte) {
    files.writeExtension(100);
    answerWith(0xC0, 0x62, 0); // never completes: no final answer at all
    double start = line.now();

    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 0x9D);
    EXPECT_DOUBLE_EQ(line.now() - start, 10.0);
}

TEST_F(ExtensionModule, WrongFinalAnswer) {
    Bytes module = files.writeExtension(100);
    answerWith(0xC0, 0x62, module.size());
    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 0x62);
    EXPECT_STREQ(ma_Comment, " COMMAND : extension module not started (0x62) ");
}

TEST_F(ExtensionModule, MissingOrOversizedModuleFileSendsNothing) {
    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 3);
    EXPECT_STREQ(ma_Comment, " COMMAND : cannot load the extension module ");
    files.writeExtension(65535);
    EXPECT_EQ(dwl1_4DownloadExtendMobule(4), 4);
    EXPECT_TRUE(line.written().empty());
}

} // namespace

namespace {

// A port whose output queue never drains, on a clock that each poll moves on.
class StuckQueueLine : public SerialDevice, public ClockSource {
  public:
    int configure(long, int, int, int) override { return 0; }
    void setTimeout(double seconds) override { timeout = seconds; }
    void setDtr(bool) override {}
    void flushIn() override {}
    void flushOut() override {}
    int write(const uint8_t* data, int count) override {
        if (count == 1 && data[0] == 0xEE) in = {0xC0, 0, 0, 0, 0};
        return count;
    }
    int outQueueLength() override {
        t += 0.25;
        ++polls;
        return queued(polls);
    }
    int inQueueLength() override { return static_cast<int>(in.size()); }
    int readByte() override {
        if (in.empty()) {
            t += timeout;
            return DWL_RS232_TIMEOUT;
        }
        int b = in.front();
        in.erase(in.begin());
        return b;
    }
    int read(uint8_t*, int) override { return 0; }
    double now() override { return t; }

    double t = 1000.0;
    double timeout = 0;
    int polls = 0;
    std::vector<uint8_t> in;
    // Bytes still queued at the nth poll.
    std::function<int(int)> queued = [](int) { return 4096; };
};

TEST(ExtensionModuleOnStuckPort, OutputQueueThatNeverDrainsEndsTheWait) {
    bootsupport::HandsetPrograms files;
    ASSERT_TRUE(files.ok());
    files.writeExtension(10000); // two pieces
    auto* line = new StuckQueueLine;
    ClockSource* previous = dwl_GetClock();
    dwl_SetClock(line);
    rs232_SetOpener([line](int, const char*, int*) { return std::unique_ptr<SerialDevice>(line); });
    ASSERT_EQ(dwl12_0UartInit(4, 460800, 0, 10), 1);

    int rc = dwl1_4DownloadExtendMobule(4);
    double spent = line->t - 1000.0;
    int polls = line->polls;

    rs232_SetOpener(nullptr); // releases the line
    dwl_SetClock(previous);
    EXPECT_EQ(rc, 0x9D);
    // Two stalled pieces and the final read, each bounded by the fast link's time-out.
    EXPECT_LE(spent, 2 * (DWL_OUTQ_STALL_SECONDS + 0.5) + 10.0 + 4 * 10.0);
    EXPECT_GT(polls, 2);
}

// The stall is counted from the last progress, not from the start of the wait: a queue that
// drains slowly for longer than the stall time is waited for to its end, and one that stops
// draining ends the wait one stall time after its last progress.
TEST(OutputQueueWait, AStallCountsFromTheLastProgress) {
    struct Case {
        const char* what;
        int lastProgressPoll; // the queue shrinks by 40 bytes a poll (0.25 s) until this poll
        int result;
    };
    const Case cases[] = {
        {"slow, steady drain to empty", 101, 1}, // 25 s of progress
        {"drains for 20 s, then stalls", 80, 0},
    };
    for (const Case& c : cases) {
        auto* line = new StuckQueueLine;
        line->queued = [stop = c.lastProgressPoll](int poll) {
            if (poll > 1000) return -1; // the port goes: a wait that misses the stall ends here
            return 4000 - 40 * ((poll < stop ? poll : stop) - 1);
        };
        ClockSource* previous = dwl_GetClock();
        dwl_SetClock(line);
        rs232_SetOpener(
            [line](int, const char*, int*) { return std::unique_ptr<SerialDevice>(line); });
        ASSERT_EQ(dwl12_0UartInit(4, 460800, 0, 10), 1);

        const int rc = dwl1_61WaitOutQueueEmpty(4, false, nullptr);
        const int polls = line->polls;

        rs232_SetOpener(nullptr); // releases the line
        dwl_SetClock(previous);
        EXPECT_EQ(rc, c.result) << c.what;
        if (c.result == 0) {
            const double stalled = 0.25 * (polls - c.lastProgressPoll);
            EXPECT_GE(stalled, DWL_OUTQ_STALL_SECONDS) << c.what;
            EXPECT_LE(stalled, DWL_OUTQ_STALL_SECONDS + 0.5) << c.what;
        } else {
            EXPECT_EQ(polls, c.lastProgressPoll) << c.what;
        }
    }
}

} // namespace

// The command line's own helpers: option values, reading a result window back into its family
// and code, the progress text, times and run ids of the records, the results database and its
// report.
#include "app/options/option_values.h"
#include "app/options/unit_scan.h"
#include "app/results/results_db.h"
#include "app/results/results_report.h"
#include "app/results/run_id.h"
#include "app/results/run_statistics.h"
#include "app/results/utc_time.h"
#include "app/run/progress_meter.h"
#include "app/run/result_reading.h"
#include "app/station/station_board.h"
#include "tests/support/temp_files.h"

#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

namespace {

using namespace dwlcli;

TEST(OptionValues, ModesByNumberNameAndImages) {
    EXPECT_EQ(parseMode("5"), 5);
    EXPECT_EQ(parseMode("ALL"), 5);
    EXPECT_EQ(parseMode("binary+ogm+tfs"), 5);
    EXPECT_EQ(parseMode("ogm+tfs"), 4);
    EXPECT_EQ(parseMode("Bin"), 1);
    EXPECT_EQ(parseMode("tfs-ogm"), 3);
    EXPECT_EQ(parseMode("binary+tfs"), 6);
    EXPECT_STREQ(modeName(6), "binary+tfs");
    EXPECT_STREQ(modeName(7), "?");
    EXPECT_EQ(parseMode("7"), -1);
    EXPECT_EQ(parseMode("-1"), -1);
    EXPECT_EQ(parseMode(" 1"), -1);
    EXPECT_EQ(parseMode(""), -1);
    // Every set of images implies the one mode that downloads exactly that set.
    for (int key = 1; key < 8; key++) {
        const bool b = key & 4, o = key & 2, t = key & 1;
        const int mode = modeForImages(b, o, t);
        ASSERT_GE(mode, 0);
        EXPECT_EQ(modeTakesImage(mode, 0), b) << key;
        EXPECT_EQ(modeTakesImage(mode, 1), o) << key;
        EXPECT_EQ(modeTakesImage(mode, 2), t) << key;
    }
    EXPECT_EQ(modeForImages(false, false, false), -1);
}

TEST(OptionValues, SpeedsPortsAndWaitStates) {
    EXPECT_EQ(parseSpeed("0"), 0);
    EXPECT_EQ(parseSpeed("8"), 8);
    EXPECT_EQ(parseSpeed("460800"), 3);
    EXPECT_EQ(parseSpeed("302325"), 8);
    EXPECT_EQ(parseSpeed("9"), -1);
    EXPECT_EQ(parseSpeed("38400 "), -1);
    EXPECT_EQ(parseSpeed("99999999999999"), -1);

    PortChoice port;
    std::string why;
    EXPECT_TRUE(parsePort("com3", &port, &why));
    EXPECT_EQ(port.com, 3);
    EXPECT_TRUE(port.device.empty());
    EXPECT_TRUE(parsePort("/dev/ttyUSB1", &port, &why));
    EXPECT_EQ(port.com, 4);
    EXPECT_EQ(port.device, "/dev/ttyUSB1");
    EXPECT_EQ(portName(port), "/dev/ttyUSB1");
    EXPECT_FALSE(parsePort("5", &port, &why));
    EXPECT_FALSE(parsePort("COM", &port, &why));
    EXPECT_FALSE(parsePort("", &port, &why));

    int counts[4] = {};
    EXPECT_TRUE(parseWaitStates("0,1,2,4", counts));
    EXPECT_EQ(counts[3], 4);
    EXPECT_FALSE(parseWaitStates("0,1,2,3,4", counts));
    EXPECT_FALSE(parseWaitStates("0,1,,3", counts));
    EXPECT_FALSE(parseWaitStates("0,1,2,", counts));
}

// Every window the display shows reads back as the record it was shown for; any other window
// reads as unknown.
// The scan rules the command line, the station's scans and the station window share.
TEST(OptionValues, UnitScanRules) {
    const struct {
        const char* scan;
        const char* recorded; // trimmed
        const char* problem;  // empty: taken
    } labels[] = {
        {"35-209900-176148-1", "35-209900-176148-1", ""},
        {"  TRAY 12 \r\n", "TRAY 12", ""},
        {"S\xc3\xa9rie 7", "S\xc3\xa9rie 7", ""},
        {"", "", "the unit's label is empty"},
        {" \t\r\n", "", "the unit's label is empty"},
        {"AB\x1b[2J", "AB\x1b[2J", "the unit's label holds a control character (0x1b)"},
        {"A\tB", "A\tB", "the unit's label holds a control character (0x09)"},
        {"A\x7f", "A\x7f", "the unit's label holds a control character (0x7f)"},
        {"\xe9t\xe9", "\xe9t\xe9", "the unit's label is not UTF-8 text"},
        {"\xc0\xaf", "\xc0\xaf", "the unit's label is not UTF-8 text"},         // overlong '/'
        {"\xed\xa0\x80", "\xed\xa0\x80", "the unit's label is not UTF-8 text"}, // surrogate
        {"\xe2\x82", "\xe2\x82", "the unit's label is not UTF-8 text"},         // cut short
    };
    for (const auto& l : labels) {
        EXPECT_EQ(dwlcli::trimmedUnitId(l.scan), l.recorded) << l.scan;
        EXPECT_EQ(dwlcli::unitIdProblem(l.scan), l.problem) << l.scan;
    }
    // 64 characters, not bytes: 64 two-byte letters are taken, a 65th is not.
    std::string e64;
    for (int i = 0; i < 64; i++)
        e64 += "\xc3\xa9";
    EXPECT_EQ(dwlcli::unitIdProblem(e64), "");
    EXPECT_EQ(dwlcli::unitIdProblem(e64 + "x"),
              "the unit's label is 65 characters long (at most 64)");

    const struct {
        const char *line, *port, *unit, *why;
    } lines[] = {
        {"COM4 35-209900-176148-1", "COM4", "35-209900-176148-1", ""},
        {"  /dev/ttyUSB0\tTRAY 12  \r", "/dev/ttyUSB0", "TRAY 12", ""},
        {"COM4", "COM4", "", "no unit after the port COM4: give PORT ID"},
        {"   ", "", "", "an empty line: give PORT ID"},
    };
    for (const auto& l : lines) {
        std::string port, unit, why;
        EXPECT_EQ(dwlcli::parseUnitScanLine(l.line, &port, &unit, &why), *l.why == 0) << l.line;
        EXPECT_EQ(std::tie(port, unit, why), std::tie(l.port, l.unit, l.why)) << l.line;
    }
}

TEST(ResultReading, WindowsReadBackAsTheRecordShown) {
    uis_Reset();
    uis_SetLayoutDirectory((std::string(DWL_SOURCE_DIR_DEFAULT) + "/ui").c_str());
    dwl51_1InstallCallbacks();
    const int cases[][2] = {{0, 0},          {1, 0},  {2, 15},  {5, -2},         {6, 4},
                            {6, 0x000A0301}, {8, 21}, {18, 18}, {33, 0x00030041}};
    for (const auto& c : cases) {
        const int panel = dwl52_10DisplayResult(c[0], c[1]);
        ASSERT_GT(panel, 0) << c[0];
        const ReadResult r = readResultWindow(panel, "text");
        EXPECT_TRUE(r.known);
        EXPECT_EQ(r.family, c[0]);
        EXPECT_EQ(r.code, c[1]);
        EXPECT_EQ(r.message, "text");
    }
    const int tfs = dwl52_13DisplayTFSFileErr(2);
    EXPECT_EQ(readResultWindow(tfs, "").family, -1);
    EXPECT_EQ(readResultWindow(dwl52_12DisplayConfigFileErr(5), "").family, 3);
    // A window that is no longer the newest result, or never was one.
    EXPECT_FALSE(readResultWindow(tfs, "").known);
    EXPECT_FALSE(readResultWindow(LoadPanel(0, "mmi.uir", 1), "").known);
    uis_Reset();
}

TEST(ProgressText, PercentRateAndTimeLeft) {
    EXPECT_EQ(ProgressMeter::barText("binary", 500, 1000, 2.0, false),
              "binary  50%  250 B/s  00:02 left");
    EXPECT_EQ(ProgressMeter::barText("ogm", 1000, 1000, 4.0, true),
              "ogm [##############################] 100%  250 B/s  00:00 left");
    // No time passed yet: no rate, no estimate; a count beyond the image is the whole image.
    EXPECT_EQ(ProgressMeter::barText("tfs", 0, 1000, 0.0, false), "tfs   0%  0 B/s  --:-- left");
    EXPECT_EQ(ProgressMeter::barText("tfs", 2000, 1000, 1.0, false),
              "tfs 100%  1000 B/s  00:00 left");
    EXPECT_EQ(ProgressMeter::barText("tfs", 50000000, 100000000, 1.0, false),
              "tfs  50%  50000000 B/s  00:01 left");
    // The end: the mean rate and time of an image that went in, how far one got that stopped.
    EXPECT_EQ(ProgressMeter::finalText("binary", 999, 300000, 84.5, true, false),
              "binary 100%  3550 B/s  in 01:25");
    EXPECT_EQ(ProgressMeter::finalText("binary", 65536, 300000, 20.0, false, false),
              "binary  21%  3277 B/s  stopped");
    EXPECT_EQ(ProgressMeter::finalText("ogm", 0, 0, 0.0, true, false), "ogm 100%  0 B/s  in 00:00");
}

// A slow line: the bytes within a sector move the line at every tenth; the last line is the
// image's mean rate.
TEST(ProgressText, PlainLinesAtEveryTenthAndTheMeanRateLast) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ProgressMeter meter(out, false);
    meter.beginImage("binary", 1000, 0.0);
    for (uint32_t done = 0; done <= 1000; done += 50)
        meter.update(done, done / 100.0);
    meter.update(1000, 11.0); // repeated: nothing more
    meter.finishImage(true, 20.0);
    meter.update(1000, 21.0); // after the end: nothing more
    meter.endImage();
    fclose(out);
    const std::string lines(text, size);
    free(text);
    int count = 0;
    for (char c : lines)
        count += c == '\n';
    EXPECT_EQ(count, 10) << lines;
    EXPECT_EQ(lines.find("binary   0%"), std::string::npos) << lines;
    EXPECT_NE(lines.find("binary  90%  100 B/s  00:01 left\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.substr(lines.rfind("binary")), "binary 100%  50 B/s  in 00:20\n") << lines;
}

TEST(RecordTimes, UtcTextAndTheTimesAnOperatorTypes) {
    EXPECT_EQ(utcText(0.0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(utcText(1772439330.25), "2026-03-02T08:15:30.250Z");
    // A millisecond that rounds up to the next second carries into it.
    EXPECT_EQ(utcText(1772439330.9996), "2026-03-02T08:15:31.000Z");
    struct Case {
        const char* text;
        bool ok;
        double epoch; // with now = 1772439330
    };
    const Case cases[] = {
        {"2026-03-02T08:15:30Z", true, 1772439330},
        {"2026-03-02 08:15:30.5Z", true, 1772439330.5},
        {"2026-03-02T09:15+01:00", true, 1772439300},
        {"2026-03-02T03:15-05:00", true, 1772439300},
        {"2026-03-02Z", true, 1772409600},
        {"90m", true, 1772439330 - 5400},
        {"8h", true, 1772439330 - 28800},
        {"1.5d", true, 1772439330 - 129600},
        {"2026-13-02", false, 0},
        {"2026-03-02T25:00Z", false, 0},
        {"2026-3-2", false, 0},
        {"2026-03-02T08:15:30+1", false, 0},
        {"yesterday", false, 0},
        {"-8h", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        double epoch = -1;
        EXPECT_EQ(parseTimeOrAge(c.text, 1772439330, &epoch), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(epoch, c.epoch) << c.text;
        }
    }
    // Without a zone: local time, as the clock on the wall shows it.
    double local = 0;
    ASSERT_TRUE(parseTimeOrAge("2026-03-02T08:15", 0, &local));
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 2;
    tm.tm_mday = 2;
    tm.tm_hour = 8;
    tm.tm_min = 15;
    tm.tm_isdst = -1;
    EXPECT_DOUBLE_EQ(local, static_cast<double>(mktime(&tm)));
}

TEST(RecordTimes, RunIdsAreRandomVersionFourUuids) {
    const std::string id = newRunId();
    ASSERT_EQ(id.size(), 36u) << id;
    for (size_t i : {8, 13, 18, 23})
        EXPECT_EQ(id[i], '-') << id;
    EXPECT_EQ(id[14], '4') << id;
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    EXPECT_NE(newRunId(), id);
}

TEST(RunStatistics, MedianPercentileAndRate) {
    EXPECT_EQ(median({}), -1.0);
    EXPECT_EQ(median({3.0}), 3.0);
    EXPECT_EQ(median({4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_EQ(median({5.0, 1.0, 3.0}), 3.0);
    // Nearest rank: of 20 values the 19th; of 10 the 10th.
    std::vector<double> twenty;
    for (int i = 20; i >= 1; i--)
        twenty.push_back(i);
    EXPECT_EQ(percentile(twenty, 95), 19.0);
    EXPECT_EQ(percentile({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 95), 10.0);
    EXPECT_EQ(percentile({7.0}, 95), 7.0);
    EXPECT_EQ(percentile({}, 95), -1.0);
    EXPECT_EQ(perHour(30, 900), 120.0);
    EXPECT_EQ(perHour(0, 900), -1.0);
    EXPECT_EQ(perHour(5, 0), -1.0);
}

// A database of known runs: the report's figures, its filters, and the rows as CSV.
TEST(ResultsReport, FiguresOfAKnownDatabase) {
    testsupport::TempDir dir;
    const std::string file = dir.file("known.sqlite");
    ResultsDb db;
    std::string why;
    ASSERT_TRUE(db.openForWriting(file, &why)) << why;
    struct Row {
        const char* station;
        const char* port;
        int family, code, exitStatus;
        const char* message;
        double start, seconds;
    };
    // 2026-03-02T08:00Z onwards; line-2 has one run only.
    const double t0 = 1772438400;
    const Row table[] = {
        {"line-1", "/dev/ttyUSB0", 0, 0, 0, "Download successful", 0, 10},
        {"line-1", "/dev/ttyUSB0", 0, 0, 0, "Download successful", 20, 12},
        {"line-1", "/dev/ttyUSB1", 6, 4, 6, "The mobile does not answer", 0, 30},
        {"line-1", "/dev/ttyUSB1", 0, 0, 0, "Download successful", 40, 11},
        {"line-1", "/dev/ttyUSB1", -2, 0, 130, "Download cancelled by the operator", 60, 3},
        {"line-2", "/dev/ttyUSB0", 11, 172, 11, "Problem, \"quoted\"", 100, 14},
        {"line-2", "/dev/ttyUSB0", 6, 4, 6, "The mobile does not answer", 3580, 20},
    };
    for (const Row& r : table) {
        RunReport report;
        report.port = r.port;
        report.device = r.port;
        report.exitStatus = r.exitStatus;
        report.result.family = r.family;
        report.result.hasCode = r.family >= 0;
        report.result.code = r.code;
        report.result.message = r.message;
        RunRecord run =
            makeRunRecord(report, t0 + r.start, t0 + r.start + r.seconds, r.seconds, r.station);
        ASSERT_TRUE(db.insert(run, &why)) << why;
    }
    std::vector<StoredRun> runs;
    ASSERT_TRUE(db.select({}, &runs, &why)) << why;
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_TRUE(runs[4].cancelled);
    EXPECT_FALSE(runs[4].passed);
    const std::string report = resultsReport("known.sqlite", {}, runs);
    for (const char* line : {
             "known.sqlite: 7 runs, 2026-03-02T08:00:00.000Z to 2026-03-02T09:00:00.000Z\n",
             "station line-1                  5      3      1         1   75.0 %\n",
             "  /dev/ttyUSB0                  2      2      0         0  100.0 %\n",
             "  /dev/ttyUSB1                  3      1      1         1   50.0 %\n",
             "station line-2                  2      0      2         0    0.0 %\n",
             "total                           7      3      3         1   50.0 %\n",
             "      2  The mobile does not answer (family 6, code 4)\n"
             "      1  Problem, \"quoted\" (family 11, code 172)\n",
             // Six runs not cancelled: 10 11 12 14 20 30 s; six in the hour.
             "median 13.0 s, 95th percentile 30.0 s\n",
             "handsets per hour: 6.0\n",
         })
        EXPECT_NE(report.find(line), std::string::npos) << line << report;

    RunFilter filter;
    filter.station = "line-1";
    filter.port = "/dev/ttyUSB1";
    filter.since = "2026-03-02T08:00:30.000Z";
    runs.clear();
    ASSERT_TRUE(db.select(filter, &runs, &why)) << why;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].durationSeconds, 11.0);

    std::vector<std::vector<std::string>> table2;
    filter = RunFilter{};
    filter.station = "line-2";
    ASSERT_TRUE(db.selectAll(filter, &table2, &why)) << why;
    ASSERT_EQ(table2.size(), 3u);
    EXPECT_EQ(table2[0][0], "run_id");
    EXPECT_EQ(table2[0].back(), "sent_at");
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    EXPECT_TRUE(writeCsv(out, {{"a", "b,c", "say \"hi\"", ""}, {"1", "two\nlines"}}));
    fclose(out);
    EXPECT_EQ(std::string(text, size), "a,\"b,c\",\"say \"\"hi\"\"\",\r\n1,\"two\nlines\"\r\n");
    free(text);
}

// The station's totals and its lines, from the ports' events.
TEST(StationBoard, CountsVerdictsAndTotalsFromTheEvents) {
    StationBoard board({{"COM1", "/dev/ttyUSB0"}, {"/dev/ttyUSB1", "/dev/ttyUSB1"}}, 0.0);
    const auto ended = [](const char* port, bool passed, bool cancelled, double seconds) {
        Json e = {{"event", "run_ended"},
                  {"port", port},
                  {"passed", passed},
                  {"cancelled", cancelled},
                  {"duration_s", seconds}};
        e["result"]["result"] = {{"family", passed ? 0 : 11},
                                 {"code", 172},
                                 {"message", passed ? "Download successful" : "Problem"}};
        return e;
    };
    board.take(ended("COM1", true, false, 10));
    board.take(ended("COM1", false, false, 30));
    board.take(ended("/dev/ttyUSB1", true, false, 12));
    board.take(ended("/dev/ttyUSB1", false, true, 2));
    board.take({{"event", "waiting"}, {"port", "COM1"}});
    board.take({{"event", "progress"},
                {"port", "/dev/ttyUSB1"},
                {"stage", "writing"},
                {"image", "ogm"},
                {"percent", 45},
                {"bytes_per_second", 41200},
                {"eta_seconds", 75}});
    const Json t = board.totals(1800.0);
    EXPECT_EQ(t["pass"], 2);
    EXPECT_EQ(t["fail"], 1);
    EXPECT_EQ(t["yield_percent"], 66.7);
    EXPECT_EQ(t["median_s"], 12.0);
    EXPECT_EQ(t["per_hour"], 6.0);
    const std::vector<std::string> lines = board.lines(1800.0, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "COM1          pass    1 fail    1  FAIL: Problem (family 11, code 172)  "
                        "(next handset)");
    EXPECT_EQ(lines[1], "/dev/ttyUSB1  pass    1 fail    0  writing ogm  45% 41200 B/s ETA 01:15");
    EXPECT_EQ(lines[2], "total: pass 2, fail 1, yield 66.7 %, median 12.0 s, 6.0 handsets/hour");
    EXPECT_EQ(board.lines(1800.0, 20)[0].size(), 19u);

    // Runs waiting in the journal: a line of their own below the totals until none wait.
    Json unrecorded = {{"event", "unrecorded"},
                       {"time", "T"},
                       {"waiting", 2},
                       {"journal", "r.sqlite.unrecorded.jsonl"},
                       {"error", "database is locked"}};
    board.take(unrecorded);
    const std::string said =
        "NOT RECORDED: 2 runs wait in r.sqlite.unrecorded.jsonl (database is locked)";
    ASSERT_EQ(board.lines(1800.0, 0).size(), 4u);
    EXPECT_EQ(board.lines(1800.0, 0)[3], said);
    EXPECT_EQ(StationBoard::plainLine(unrecorded), "T " + said);
    unrecorded["waiting"] = 0;
    board.take(unrecorded);
    EXPECT_EQ(board.lines(1800.0, 0).size(), 3u);
    EXPECT_EQ(StationBoard::plainLine(unrecorded), "T every run is recorded");

    // Units: the board says what the port waits for; the plain lines say each scan.
    board.take(
        {{"event", "waiting"}, {"port", "COM1"}, {"unit", nullptr}, {"unit_required", true}});
    EXPECT_NE(board.lines(1800.0, 0)[0].find("scan the unit"), std::string::npos);
    const Json scanned = {{"event", "unit_scanned"}, {"time", "T"},   {"port", "COM1"},
                          {"unit", "U-2"},           {"held", false}, {"replaces", "U-1"}};
    board.take(scanned);
    EXPECT_NE(board.lines(1800.0, 0)[0].find("unit U-2: switch the handset on"), std::string::npos);
    EXPECT_EQ(StationBoard::plainLine(scanned), "T COM1: unit U-2 for the next handset, instead "
                                                "of U-1");
    EXPECT_EQ(StationBoard::plainLine({{"event", "unit_scanned"},
                                       {"time", "T"},
                                       {"port", "COM1"},
                                       {"unit", "U-3"},
                                       {"held", true},
                                       {"replaces", nullptr}}),
              "T COM1: unit U-3 held for the next run (a run is in progress)");
    EXPECT_EQ(StationBoard::plainLine({{"event", "unit_refused"},
                                       {"time", "T"},
                                       {"scan", "COM1 A\x01"},
                                       {"port", "COM1"},
                                       {"reason", "R"}}),
              "T scan refused: R: \"COM1 A\\u0001\"");
}

} // namespace

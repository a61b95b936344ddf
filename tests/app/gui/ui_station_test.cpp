// The production station window: the station's event lines read into tiles, totals and logs
// (recorded lines), and the window running a stand-in for `dwl station` as the operator starts,
// stops, unlocks and closes it.
#include "app/gui/qt/report_opener.h"
#include "app/gui/qt/station_control.h"
#include "app/gui/qt/station_log_view.h"
#include "app/gui/qt/station_settings_box.h"
#include "app/gui/qt/station_tile.h"
#include "app/gui/qt/station_tile_grid.h"
#include "app/gui/qt/station_totals_bar.h"
#include "app/gui/qt/station_window.h"
#include "app/gui/station_lines.h"
#include "app/results/results_sender.h"
#include "app/run/json_text.h"
#include "app/station/station_events.h"
#include "tests/platform/qt/ui_test_helpers.h"
#include "tests/support/temp_files.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

// A line of port COM1 (device /dev/ttyUSB0), with the event's own fields after the common ones.
std::string com1(const std::string& event, const std::string& fields = "") {
    return R"({"event":")" + event +
           R"(","time":"2026-03-01T08:00:00Z","port":"COM1","device":"/dev/ttyUSB0")" +
           (fields.empty() ? "" : "," + fields) + "}";
}

const std::string kStarted = com1("run_started", R"("run_id":"u-1")");
std::string progress(const std::string& fields) {
    return com1("progress", R"("run_id":"u-1",)" + fields);
}
std::string ended(bool passed, bool cancelled, const std::string& result) {
    return com1("run_ended", std::string(R"("run_id":"u-1","passed":)") +
                                 (passed ? "true" : "false") + R"(,"cancelled":)" +
                                 (cancelled ? "true" : "false") +
                                 R"(,"duration_s":12.64,"result":)" + result);
}
const std::string kPassed =
    ended(true, false,
          R"({"exit_status":0,"result":{"family":0,"code":0,"message":"Download successful"}})");
const std::string kFailed = ended(
    false, false,
    R"({"exit_status":8,"result":{"family":8,"code":3,"message":"COMMAND : Bad change speed acknowledge "}})");

struct LineCase {
    const char* name;
    std::vector<std::string> lines;
    int light;
    const char* state;
    const char* detail;
    const char* note;
    int percent;
    long pass, fail;
};

TEST(StationLines, EachEventShowsOnItsPortsTile) {
    const LineCase cases[] = {
        {"waiting", {com1("waiting")}, LIGHT_WAITING, "Waiting for a handset", "", "", -1, 0, 0},
        {"run started", {kStarted}, LIGHT_RUNNING, "Starting", "", "", 0, 0, 0},
        {"booting",
         {kStarted, progress(R"("stage":"booting","image":null,"percent":40,"eta_seconds":null)")},
         LIGHT_RUNNING,
         "Booting",
         "",
         "",
         40,
         0,
         0},
        {"writing",
         {kStarted, progress(R"("stage":"writing","image":"tfs","bytes_done":9,"bytes_total":20,)"
                             R"("percent":45,"bytes_per_second":38875,"eta_seconds":72.4)")},
         LIGHT_RUNNING,
         "Writing TFS 45 %",
         "38.9 kB/s, 1:12 left",
         "",
         45,
         0,
         0},
        {"writing, time left unknown, percent beyond 100",
         {progress(R"("stage":"writing","image":"binary","percent":250,"bytes_per_second":0,)"
                   R"("eta_seconds":null)")},
         LIGHT_RUNNING,
         "Writing binary 100 %",
         "0.0 kB/s",
         "",
         100,
         0,
         0},
        {"a field of the wrong type reads as missing",
         {progress(R"("stage":"writing","image":"ogm","percent":"50","bytes_per_second":"x")")},
         LIGHT_RUNNING,
         "Writing ogm",
         "0.0 kB/s",
         "",
         -1,
         0,
         0},
        {"pass", {kStarted, kPassed}, LIGHT_PASS, "PASS", "12.6 s", "", -1, 1, 0},
        {"the light stays while the port waits for the next handset",
         {kStarted, kPassed, com1("waiting")},
         LIGHT_PASS,
         "PASS",
         "12.6 s",
         "Waiting for the next handset",
         -1,
         1,
         0},
        {"fail, its reason without the blanks around it",
         {kStarted, kFailed},
         LIGHT_FAIL,
         "FAIL",
         "COMMAND : Bad change speed acknowledge",
         "",
         -1,
         0,
         1},
        {"fail without a message",
         {kStarted, ended(false, false, R"({"exit_status":50,"result":{"family":3,"code":null}})")},
         LIGHT_FAIL,
         "FAIL",
         "exit status 50",
         "",
         -1,
         0,
         1},
        {"cancelled counts neither as a pass nor as a failure",
         {kStarted,
          ended(
              false, true,
              R"({"exit_status":130,"result":{"message":"Download cancelled by the operator"}})")},
         LIGHT_FAIL,
         "CANCELLED",
         "The flash may be partly written",
         "",
         -1,
         0,
         0},
        {"a pass the database refused says so",
         {kStarted,
          com1("run_ended", R"("run_id":"u-1","passed":true,"cancelled":false,"duration_s":1,)"
                            R"("result":{"exit_status":0},"recorded":false,)"
                            R"("record_error":"database is locked","waiting_in":"r.jsonl")")},
         LIGHT_PASS,
         "PASS",
         "1.0 s",
         "NOT RECORDED",
         -1,
         1,
         0},
        {"the next run clears the last light",
         {kStarted, kFailed, com1("waiting"), kStarted},
         LIGHT_RUNNING,
         "Starting",
         "",
         "",
         0,
         0,
         1},
        {"port lost",
         {kStarted, com1("port_lost", R"("reason":"device gone")")},
         LIGHT_LOST,
         "PORT LOST",
         "device gone",
         "",
         -1,
         0,
         0},
        {"port back",
         {com1("port_lost", R"("reason":"device gone")"), com1("port_back")},
         LIGHT_WAITING,
         "Waiting for a handset",
         "",
         "Port back",
         -1,
         0,
         0},
        // Units: the tile asks for the scan, then for the switch-on; a scan during a run waits
        // for the next; a refused scan says why.
        {"waiting for the unit's scan",
         {com1("waiting", R"("unit":null,"unit_required":true)")},
         LIGHT_WAITING,
         "Scan the unit",
         "",
         "",
         -1,
         0,
         0},
        {"unit scanned",
         {com1("waiting", R"("unit":null,"unit_required":true)"),
          com1("unit_scanned", R"("unit":"U-7","held":false,"replaces":null)")},
         LIGHT_WAITING,
         "Switch the handset on",
         "Unit U-7",
         "",
         -1,
         0,
         0},
        {"after a pass, the next unit scanned",
         {kPassed, com1("waiting", R"("unit":"U-8","unit_required":true)")},
         LIGHT_PASS,
         "PASS",
         "12.6 s",
         "Unit U-8: switch the handset on",
         -1,
         1,
         0},
        {"unit held during a run",
         {kStarted, com1("unit_scanned", R"("unit":"U-9","held":true,"replaces":null)")},
         LIGHT_RUNNING,
         "Starting",
         "",
         "Next: unit U-9",
         0,
         0,
         0},
        {"scan refused",
         {com1("waiting"),
          R"({"event":"unit_refused","time":"t","scan":"COM1 A\u0001",)"
          R"x("port":"COM1","reason":"the unit's label holds a control character (0x01)"})x"},
         LIGHT_WAITING,
         "Waiting for a handset",
         "",
         "Scan refused: the unit's label holds a control character (0x01)",
         -1,
         0,
         0},
        {"station stopped",
         {kPassed, R"({"event":"station_stopped","reason":"interrupted"})"},
         LIGHT_PASS,
         "PASS",
         "12.6 s",
         "Stopped",
         -1,
         1,
         0},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        StationModel model;
        station_Begin(model, {"COM1"});
        for (const std::string& line : c.lines)
            station_ReadLine(model, line);
        ASSERT_EQ(model.ports.size(), 1u);
        const StationTileLook& look = model.ports[0].look;
        EXPECT_EQ(look.device, "/dev/ttyUSB0");
        EXPECT_EQ(look.light, c.light);
        EXPECT_EQ(look.state, c.state);
        EXPECT_EQ(look.detail, c.detail);
        EXPECT_EQ(look.note, c.note);
        EXPECT_EQ(look.percent, c.percent);
        EXPECT_EQ(look.pass, c.pass);
        EXPECT_EQ(look.fail, c.fail);
        EXPECT_EQ(look.cancelled, look.state == "CANCELLED" ? 1 : 0);
    }
}

// What the station writes, read back: every kind of event as its writer makes it reaches the
// window, field by field.
TEST(StationLines, ReadsBackEveryEventTheStationWrites) {
    using namespace dwlcli;
    const PortLabel com1{"COM1", "/dev/ttyUSB0"};
    StationStart start;
    start.station = "line-3";
    start.ports = {"COM1"};
    start.mode = 5;
    start.baud = 460800;
    start.images = {ImageReport{"binary", "/img/a.bin", 488000, 0x1234}};
    start.results = "/var/lib/dwl/results.sqlite";
    RunProgress writing;
    writing.writing = true;
    writing.image = 0;
    writing.bytesDone = 45;
    writing.bytesTotal = 100;
    writing.bytesPerSecond = 38875;
    writing.etaSeconds = 72;
    RunRecord run;
    run.runId = "u-1";
    run.durationSeconds = 12.64;
    run.report.exitStatus = 8;
    run.report.result.known = true;
    run.report.result.family = 8;
    run.report.result.hasCode = true;
    run.report.result.code = 3;
    run.report.result.message = "COMMAND : Bad change speed acknowledge ";
    SenderStatus server;
    server.waiting = 3;
    server.error = "results server: connection refused";

    StationModel m;
    station_Begin(m, {"COM1"});
    const auto read = [&m](const Json& event) { return station_ReadLine(m, jsonText(event)); };
    const StationTileLook& look = m.ports[0].look;

    EXPECT_EQ(read(stationStartedEvent(start)), kStationWide);
    EXPECT_EQ(m.station, "line-3");
    EXPECT_EQ(m.mode, "5");
    EXPECT_EQ(m.baud, 460800);
    EXPECT_EQ(m.results, start.results);
    ASSERT_EQ(m.images.size(), 1u);
    EXPECT_EQ(m.images[0].kind, "binary");
    EXPECT_EQ(m.images[0].path, "/img/a.bin");
    EXPECT_EQ(m.images[0].size, 488000);
    EXPECT_EQ(m.images[0].byteSum, 0x1234u);

    EXPECT_EQ(read(waitingEvent(com1)), 0);
    EXPECT_EQ(look.device, "/dev/ttyUSB0");
    EXPECT_EQ(look.state, "Waiting for a handset");
    EXPECT_EQ(read(runStartedEvent(com1, "u-1")), 0);
    EXPECT_EQ(m.ports[0].runId, "u-1");
    EXPECT_EQ(look.light, LIGHT_RUNNING);
    EXPECT_EQ(read(progressEvent(com1, "u-1", writing)), 0);
    EXPECT_EQ(look.state, "Writing binary 45 %");
    EXPECT_EQ(look.detail, "38.9 kB/s, 1:12 left");
    EXPECT_EQ(look.percent, 45);
    EXPECT_EQ(read(runEndedEvent(com1, run, true, "")), 0);
    EXPECT_EQ(look.light, LIGHT_FAIL);
    EXPECT_EQ(look.detail, "COMMAND : Bad change speed acknowledge");
    EXPECT_EQ(look.fail, 1);
    EXPECT_NE(m.ports[0].log.back().find("(family 8, code 3, exit 8)"), std::string::npos)
        << m.ports[0].log.back();
    EXPECT_EQ(read(portLostEvent(com1, "device gone")), 0);
    EXPECT_EQ(look.state, "PORT LOST");
    EXPECT_EQ(look.detail, "device gone");
    EXPECT_EQ(read(portBackEvent(com1)), 0);
    EXPECT_EQ(look.note, "Port back");

    EXPECT_EQ(read(totalsEvent(30, 2, 12.6, 103.4)), kStationWide);
    EXPECT_EQ(m.totals.pass, 30);
    EXPECT_EQ(m.totals.fail, 2);
    EXPECT_DOUBLE_EQ(m.totals.yieldPercent, 93.8);
    EXPECT_DOUBLE_EQ(m.totals.medianSeconds, 12.6);
    EXPECT_DOUBLE_EQ(m.totals.perHour, 103.4);
    EXPECT_EQ(read(serverEvent(server, 1e9)), kStationWide);
    EXPECT_EQ(m.server, "server: 3 waiting, not reached yet (results server: connection refused)");
    EXPECT_EQ(read(stoppingEvent(true)), kStationWide);
    EXPECT_NE(m.log.back().find("\"cancel\":true"), std::string::npos) << m.log.back();
    EXPECT_EQ(read(stationStoppedEvent("interrupted")), kStationWide);
    EXPECT_EQ(m.stopReason, "interrupted");
}

TEST(StationLines, StationStartTotalsAndLinesThatAreNoEvents) {
    StationModel model;
    station_Begin(model, {"COM1", "/dev/ttyUSB7"});
    // The station's list makes the tiles, in its order.
    EXPECT_EQ(
        station_ReadLine(
            model,
            R"({"event":"station_started","time":"t","station":"line-3","ports":["/dev/ttyUSB5",2,"COM1","2"],)"
            R"("mode":"all","baud":460800,"images":[{"kind":"binary","path":"/img/a.bin",)"
            R"("size":488000,"byte_sum":4294967295},{"kind":"ogm","path":"/img/a.ogm","size":"?"}],)"
            R"("results":"/var/lib/dwl/results.sqlite"})"),
        kStationWide);
    ASSERT_EQ(model.ports.size(), 3u);
    EXPECT_EQ(model.ports[0].look.port, "/dev/ttyUSB5");
    EXPECT_EQ(model.ports[1].look.port, "2");
    EXPECT_EQ(model.ports[2].look.port, "COM1");
    EXPECT_EQ(model.mode, "all");
    EXPECT_EQ(model.baud, 460800);
    ASSERT_EQ(model.images.size(), 2u);
    EXPECT_EQ(model.images[0].byteSum, 0xFFFFFFFFu);
    EXPECT_EQ(model.images[1].size, -1);
    EXPECT_NE(model.log.back().find("binary /img/a.bin (488000 bytes, sum 0xFFFFFFFF)"),
              std::string::npos);

    station_ReadLine(
        model,
        R"({"event":"totals","pass":30,"fail":2,"yield_percent":93.75,"median_s":12.6,"per_hour":null})");
    EXPECT_EQ(model.totals.pass, 30);
    EXPECT_EQ(model.totals.fail, 2);
    EXPECT_DOUBLE_EQ(model.totals.yieldPercent, 93.75);
    EXPECT_DOUBLE_EQ(model.totals.medianSeconds, 12.6);
    EXPECT_EQ(model.totals.perHour, -1);
    // Before any run finished (or with cancelled runs only) the yield is not known.
    station_ReadLine(
        model,
        R"({"event":"totals","pass":0,"fail":0,"yield_percent":0.0,"median_s":null,"per_hour":null})");
    EXPECT_EQ(model.totals.yieldPercent, -1);

    // The sender to the line's server: what waits, when it was reached; an error logged once.
    const char* refused =
        R"({"event":"server","waiting":3,"last_reached_s":null,"error":"results server: connection refused at db:5432"})";
    station_ReadLine(model, refused);
    station_ReadLine(model, refused);
    EXPECT_EQ(model.server,
              "server: 3 waiting, not reached yet (results server: connection refused at db:5432)");
    EXPECT_EQ(std::count_if(model.log.begin(), model.log.end(),
                            [](const std::string& l) {
                                return l.find("connection refused") != std::string::npos;
                            }),
              1);
    station_ReadLine(model, R"({"event":"server","waiting":0,"last_reached_s":2.4,"error":null})");
    EXPECT_EQ(model.server, "server: 0 waiting, reached 2 s ago");

    // Runs that wait in the results file's journal: logged with where and why.
    station_ReadLine(model, R"({"event":"unrecorded","waiting":2,"journal":"r.jsonl",)"
                            R"("error":"database is locked"})");
    EXPECT_EQ(model.log.back().substr(model.log.back().find("NOT")),
              "NOT RECORDED: 2 run(s) wait in r.jsonl (database is locked)");

    // Neither garbage nor a port event without a port makes a tile; both are kept in the log.
    const unsigned long logged = model.logCount;
    EXPECT_EQ(station_ReadLine(model, "dwl: cannot open results.sqlite"), kLineNotRead);
    EXPECT_EQ(station_ReadLine(model, R"({"event":"progress","percent":5})"), kLineNotRead);
    EXPECT_EQ(station_ReadLine(model, R"([1,2])"), kLineNotRead);
    EXPECT_EQ(station_ReadLine(model, std::string(5000, '{')), kLineNotRead);
    EXPECT_EQ(model.ports.size(), 3u);
    EXPECT_EQ(model.logCount, logged + 4);
    EXPECT_LT(model.log.back().size(), 500u);

    // The error output goes to the port it names, by port or device, else to the station.
    EXPECT_EQ(station_ReadErrorLine(model, "[COM1] Booting Loader is Completed!!"), 2);
    EXPECT_EQ(model.ports[2].log.back(), "Booting Loader is Completed!!");
    EXPECT_EQ(station_ReadErrorLine(model, "[/dev/ttyUSB9] x"), kStationWide);
    EXPECT_EQ(model.log.back(), "[/dev/ttyUSB9] x");
}

TEST(StationLines, PortLogKeepsTheRunsAndEndsWhatTheStationLeft) {
    StationModel model;
    station_Begin(model, {"COM1"});
    station_ReadLine(model, kStarted);
    for (int percent : {10, 20, 30})
        station_ReadLine(model, progress(R"("stage":"writing","image":"binary","bytes_total":4096,)"
                                         R"("percent":)" +
                                         std::to_string(percent)));
    station_ReadLine(
        model,
        ended(false, false,
              R"({"exit_status":11,"result":{"family":11,"code":2,"message":"Bad checksum"},)"
              R"("sectors":[{"address":33554432,"result":"written"},)"
              R"({"address":33619968,"result":"resent"},{"address":33685504,"result":"failed"},)"
              R"({"address":33751040,"result":"untouched"}]})"));
    const StationPort& p = model.ports[0];
    // One line for the stage, not one per step of its progress.
    const std::vector<std::string> expected = {
        "2026-03-01T08:00:00Z  run u-1 started",
        "2026-03-01T08:00:00Z  writing the binary image, 4096 bytes",
        "2026-03-01T08:00:00Z  FAIL after 12.6 s: Bad checksum (family 11, code 2, exit 11)"};
    EXPECT_EQ(std::vector<std::string>(p.log.begin(), p.log.end()), expected);
    const std::vector<std::string> result = {
        "exit_status: 11", R"(result: {"code":2,"family":11,"message":"Bad checksum"})",
        "sectors: 4, 1 written, 1 untouched", "sectors sent again: 0x02010000",
        "sectors failed: 0x02020000"};
    EXPECT_EQ(p.lastResult, result);

    // A station that goes during a run leaves no result and no count.
    station_ReadLine(model, kStarted);
    station_Ended(model, "the station ended abnormally");
    EXPECT_EQ(p.look.light, LIGHT_FAIL);
    EXPECT_EQ(p.look.state, "NO RESULT");
    EXPECT_EQ(p.look.note, "Station ended");
    EXPECT_EQ(p.look.fail, 1);
    EXPECT_EQ(model.log.back(), "the station ended abnormally");

    // The log keeps its last lines only.
    for (size_t i = 0; i < kStationLogLines + 5; i++)
        station_ReadLine(model, com1("waiting"));
    EXPECT_EQ(p.log.size(), kStationLogLines);
}

TEST(StationLines, OptionsAndTheStationsArguments) {
    testsupport::TempDir dir;
    testsupport::writeBytes(dir.file("a.bin"), std::vector<uint8_t>{0xFF, 0xFF, 0x01});
    StationSettings s;
    s.ports = {"COM9-kept"};
    bool start = false;
    std::string why;
    ASSERT_TRUE(
        station_ParseOptions({"-p", "1", "--port", "/dev/ttyUSB3", "--bin", dir.file("a.bin"), "-m",
                              "all", "-s", "7", "--station", "line-3", "--require-unit", "--start"},
                             &s, &start, &why))
        << why;
    EXPECT_TRUE(start);
    EXPECT_EQ(station_CommandArgs(s),
              (std::vector<std::string>{"station", "--json-lines", "--units-from-stdin",
                                        "--require-unit", "--port", "1", "--port", "/dev/ttyUSB3",
                                        "--bin", dir.file("a.bin"), "--mode", "all", "--speed",
                                        "270833", "--station", "line-3"}));

    // A results server's address, in either of its forms, stays as given; a file is made
    // absolute.
    for (const std::string& server :
         {std::string("postgresql://station@127.0.0.1:5999/dwl_line"),
          std::string("host=127.0.0.1 port=5999 dbname=dwl_line user=station")}) {
        StationSettings r;
        ASSERT_TRUE(station_ParseOptions({"--results", server}, &r, &start, &why)) << why;
        EXPECT_EQ(r.results, server);
    }
    StationSettings file;
    ASSERT_TRUE(station_ParseOptions({"--results", "r.sqlite"}, &file, &start, &why)) << why;
    EXPECT_EQ(file.results, std::filesystem::absolute("r.sqlite").string());
    // Kept and restored as given; one that an older version remembered as a path below its
    // working folder comes back as the address; files stay as they are.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir.file("conf")));
    QCoreApplication::setOrganizationName(QStringLiteral("dwl-test"));
    const std::pair<std::string, std::string> kept[] = {
        {"postgresql://station@127.0.0.1:5999/dwl_line",
         "postgresql://station@127.0.0.1:5999/dwl_line"},
        {"/work/postgresql:/station@127.0.0.1:5999/dwl_line",
         "postgresql://station@127.0.0.1:5999/dwl_line"},
        {"/w/x/postgres:/127.0.0.1/l", "postgres://127.0.0.1/l"},
        {"/w/host=/var/run/postgresql port=5999 dbname=l",
         "host=/var/run/postgresql port=5999 dbname=l"},
        {"/w/results.sqlite", "/w/results.sqlite"},
        {"/w/a=b/dbname=x.sqlite", "/w/a=b/dbname=x.sqlite"},
    };
    for (const auto& [saved, restored] : kept) {
        StationSettings k;
        k.results = saved;
        dwlgui_KeepStationSettings(k);
        EXPECT_EQ(dwlgui_RestoreStationSettings().results, restored) << saved;
    }
    QSettings().clear();

    const struct {
        std::vector<std::string> args;
        const char* why;
    } bad[] = {{{"--port", "5"}, "unknown port 5"},
               {{"--mode", "everything"}, "unknown mode everything"},
               {{"--speed", "9600"}, "unknown speed 9600"},
               {{"--bin"}, "--bin needs a value"},
               {{"--colour", "red"}, "unknown option --colour"},
               {{"a.bin"}, "unknown argument a.bin"}};
    for (const auto& b : bad) {
        StationSettings untouched = s;
        EXPECT_FALSE(station_ParseOptions(b.args, &untouched, &start, &why));
        EXPECT_EQ(why.rfind(b.why, 0), 0u) << why;
        EXPECT_EQ(untouched, s);
    }

    // Size and byte sum as the panel shows them; a missing file says why.
    const StationImage image = station_ReadImage("binary", dir.file("a.bin"));
    EXPECT_EQ(image.size, 3);
    EXPECT_EQ(image.byteSum, 0x1FFu);
    const StationImage missing = station_ReadImage("ogm", dir.file("none.ogm"));
    EXPECT_EQ(missing.size, -1);
    EXPECT_EQ(missing.problem, "No such file or directory");
}

// --- The window with a stand-in station ---------------------------------------------------

class StationWindowTest : public ::testing::Test {
  protected:
    // Writes the stand-in's script and makes the window that runs it.
    void make(const std::vector<std::string>& script, StationSettings settings = {}) {
        writeScript(script);
        if (settings.ports.empty()) settings.ports = {"COM1", "COM2"};
        station = std::make_unique<StationControl>(FAKE_STATION, settings, false);
        station->window().show();
    }
    void writeScript(const std::vector<std::string>& script) {
        std::ofstream out(dir.file("script"));
        for (const std::string& line : script)
            out << line << "\n";
        setenv("FAKE_STATION_SCRIPT", dir.file("script").c_str(), 1);
    }
    void TearDown() override {
        station.reset();
        unsetenv("FAKE_STATION_SCRIPT");
    }

    // Runs the event loop until the window, brought up to date, shows what is asked; false
    // when it does not within the deadline.
    bool waitFor(const std::function<bool()>& shown, int msecs = 10000) {
        if (shown()) return true;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        station->setRefreshObserver([&] {
            if (shown()) loop.quit();
        });
        deadline.start(msecs);
        loop.exec();
        station->setRefreshObserver(nullptr);
        return shown();
    }
    const StationTileLook& tile(int i) { return station->window().grid()->tile(i)->look(); }
    bool stopped() { return station->phase() == StationControl::IDLE; }
    QString status() { return station->window().totalsBar()->statusText(); }

    testsupport::TempDir dir;
    std::unique_ptr<StationControl> station;
};

// Presses the button of the open message box whose text begins so.
std::function<void(QWidget*)> press(const QString& button) {
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) return;
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove(QLatin1Char('&')).startsWith(button)) b->click();
    };
}

const char* const kStationStarted =
    R"({"event":"station_started","time":"t","station":"line-3","ports":["COM1","COM2"],)"
    R"("mode":"binary","baud":302325,"images":[{"kind":"binary","path":"/img/sw.bin","size":488000,)"
    R"("byte_sum":3054}],"results":"/tmp/r.sqlite"})";

TEST_F(StationWindowTest, RunsTheStationAndDrawsItsLines) {
    testsupport::writeBytes(dir.file("local.bin"), std::vector<uint8_t>{1, 2, 3});
    StationSettings settings;
    settings.ports = {"COM1", "/dev/ttyUSB1"};
    settings.bin = dir.file("local.bin");
    settings.mode = 1;
    settings.baud = 302325;
    settings.results = "host=127.0.0.1 port=5999 dbname=dwl_line";
    make(
        {"!args", kStationStarted, com1("waiting"), kStarted,
         progress(R"("stage":"writing","image":"binary","percent":60,"bytes_per_second":4e4)"),
         kPassed, com1("waiting"),
         R"({"event":"run_ended","port":"COM2","device":"/dev/ttyUSB1","passed":false,)"
         R"("cancelled":false,"duration_s":3,"result":{"result":{"message":"The mobile does not answer"}}})",
         R"({"event":"totals","pass":1,"fail":1,"yield_percent":50,"median_s":7.8,"per_hour":240})",
         "!err [COM2] COM2: cannot open /dev/ttyUSB1: Permission denied", "!int",
         R"({"event":"station_stopped","reason":"interrupted"})"},
        settings);
    StationWindow& w = station->window();
    EXPECT_EQ(w.settingsBox()->imageText("binary"), "local.bin: 3 bytes, sum 0x00000006");
    EXPECT_FALSE(w.settingsBox()->locked());
    // The results target has a field of its own, where a wrong one is corrected.
    auto* results = w.settingsBox()->findChild<QLineEdit*>(QStringLiteral("stationResults"));
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->text().toStdString(), settings.results);
    results->setText(QStringLiteral("postgresql://station@127.0.0.1:5999/dwl_line"));

    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return tile(1).fail == 1; }));
    EXPECT_TRUE(w.settingsBox()->locked());
    EXPECT_FALSE(w.startButton()->isEnabled());
    // The station got the settings shown; the box shows what the station runs with.
    const std::deque<std::string>& log = station->model().log;
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "args: station --json-lines --units-from-stdin --port COM1 --port "
                        "/dev/ttyUSB1 --bin " +
                            dir.file("local.bin") +
                            " --mode binary --speed 302325 --results "
                            "postgresql://station@127.0.0.1:5999/dwl_line"),
              log.end());
    EXPECT_EQ(w.settingsBox()->settings().bin, "/img/sw.bin");
    // A locked field that loses the focus does not read the files again.
    for (QLineEdit* field : w.settingsBox()->findChildren<QLineEdit*>())
        emit field->editingFinished();
    EXPECT_EQ(w.settingsBox()->imageText("binary"), "sw.bin: 488000 bytes, sum 0x00000BEE");
    EXPECT_EQ(tile(0).light, LIGHT_PASS);
    EXPECT_EQ(tile(0).note, "Waiting for the next handset");
    EXPECT_EQ(tile(1).light, LIGHT_FAIL);
    EXPECT_EQ(tile(1).detail, "The mobile does not answer");
    EXPECT_EQ(w.grid()->count(), 2);
    EXPECT_TRUE(waitFor([&] { return w.totalsBar()->figuresText().contains("240"); }));
    EXPECT_EQ(w.totalsBar()->figuresText(),
              "PASS 1   FAIL 1   yield 50.0 %   median 7.8 s   240 handsets per hour");
    EXPECT_TRUE(status().startsWith("Running on 2 ports. Station line-3."));

    // A tile shows its port's log, the port's error lines with it, and follows it.
    QTest::mouseClick(w.grid()->tile(1), Qt::LeftButton);
    ASSERT_TRUE(w.logView()->isVisible());
    EXPECT_EQ(w.logView()->windowTitle(), "Log of COM2  /dev/ttyUSB1");
    EXPECT_TRUE(waitFor([&] { return w.logView()->text().contains("Permission denied"); }));
    EXPECT_TRUE(w.logView()->text().contains("FAIL after 3.0 s: The mobile does not answer"));

    w.stopButton()->click();
    EXPECT_EQ(station->phase(), StationControl::STOPPING);
    EXPECT_EQ(w.stopButton()->text(), "Cancel runs");
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_EQ(status(), "Stopped: the station ended with exit status 0.");
    EXPECT_TRUE(w.startButton()->isEnabled());
    EXPECT_EQ(tile(0).note, "Stopped");
    // The settings stay those of the production until they are unlocked.
    EXPECT_TRUE(w.settingsBox()->locked());
    EXPECT_TRUE(w.unlockButton()->isEnabled());
    {
        guitest::ModalAnswer no(press("No"));
        w.unlockButton()->click();
        EXPECT_TRUE(no.answered());
    }
    EXPECT_TRUE(w.settingsBox()->locked());
    {
        guitest::ModalAnswer yes(press("Yes"));
        w.unlockButton()->click();
        EXPECT_TRUE(yes.answered());
    }
    EXPECT_FALSE(w.settingsBox()->locked());
}

// A barcode scanner types the label into a tile's field and presses Enter: the station gets
// "PORT ID" on its standard input. What the scan rules refuse never reaches it.
TEST_F(StationWindowTest, ATilesScanFieldSendsTheUnitToTheStation) {
    make({kStationStarted, com1("waiting", R"("unit":null,"unit_required":true)"), "!stdin", "!int",
          R"({"event":"station_stopped","reason":"interrupted"})"});
    StationWindow& w = station->window();
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return tile(0).state == "Scan the unit"; }));
    auto* field = w.grid()->tile(0)->findChild<QLineEdit*>(QStringLiteral("scanField"));
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->isVisible());
    QTest::keyClicks(field, QString(65, QLatin1Char('7')));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(field->text().isEmpty());
    ASSERT_TRUE(waitFor([&] { return !tile(0).note.empty(); }));
    EXPECT_EQ(tile(0).note, "Scan refused: the unit's label is 65 characters long (at most 64)");
    QTest::keyClicks(field, QStringLiteral(" U-42 "));
    QTest::keyClick(field, Qt::Key_Return);
    const std::deque<std::string>& log = station->model().log;
    ASSERT_TRUE(waitFor([&] {
        return std::find(log.begin(), log.end(), "stdin: COM1 U-42") != log.end();
    })) << (log.empty() ? "" : log.back());
    // The refused scan came before and never reached the station.
    for (const std::string& line : log)
        EXPECT_EQ(line.find("777"), std::string::npos) << line;
    w.stopButton()->click();
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
}

TEST_F(StationWindowTest, StopTwiceCancelsTheRunsInProgress) {
    make({kStationStarted, kStarted, "!int",
          progress(R"("stage":"writing","image":"binary","percent":50)"), "!int",
          ended(false, true, R"({"exit_status":130})"),
          R"({"event":"station_stopped","reason":"cancelled"})", "!exit 130"});
    StationWindow& w = station->window();
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return tile(0).light == LIGHT_RUNNING; }));
    w.stopButton()->click();
    // The stand-in answers the first interrupt; the run goes on.
    ASSERT_TRUE(waitFor([&] { return tile(0).percent == 50; }));
    EXPECT_EQ(station->phase(), StationControl::STOPPING);
    w.stopButton()->click();
    EXPECT_EQ(station->phase(), StationControl::CANCELLING);
    EXPECT_FALSE(w.stopButton()->isEnabled());
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_EQ(tile(0).state, "CANCELLED");
    EXPECT_EQ(tile(0).fail, 0);
    EXPECT_EQ(tile(0).cancelled, 1);
    EXPECT_EQ(status(), "Stopped: the station ended with exit status 130.");
}

TEST_F(StationWindowTest, ClosingWhileRunningAsks) {
    make({kStationStarted, kStarted, "!int", "!int", ended(false, true, "{}"),
          R"({"event":"station_stopped","reason":"cancelled"})"});
    StationWindow& w = station->window();
    bool closed = false;
    station->setClosedObserver([&closed] { closed = true; });
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return tile(0).light == LIGHT_RUNNING; }));
    {
        guitest::ModalAnswer keep(press("Keep running"));
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(keep.answered());
    }
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(station->phase(), StationControl::RUNNING);
    {
        guitest::ModalAnswer cancel(press("Cancel the runs"));
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_EQ(station->phase(), StationControl::CANCELLING);
    // Both interrupts reach the station; once it has ended the window stays with the runs'
    // verdicts, and closes when asked again.
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(closed);
    EXPECT_EQ(tile(0).state, "CANCELLED");
    EXPECT_TRUE(status().endsWith("the window may be closed now.")) << status().toStdString();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(closed);

    // Finishing the runs in progress keeps the window while they finish, then shows them.
    closed = false;
    writeScript({kStationStarted, kStarted, "!int", kPassed,
                 R"({"event":"station_stopped","reason":"interrupted"})"});
    w.show();
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return tile(0).light == LIGHT_RUNNING; }));
    {
        guitest::ModalAnswer finish(press("Finish the runs"));
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(finish.answered());
    }
    EXPECT_EQ(station->phase(), StationControl::STOPPING);
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(closed);
    EXPECT_EQ(tile(0).state, "PASS");
    EXPECT_EQ(tile(0).pass, 1);
}

TEST_F(StationWindowTest, AStationThatGoesOrNeverStartsSaysSo) {
    make({kStationStarted, kStarted, "!err dwl: internal error", "!abort"});
    StationWindow& w = station->window();
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_EQ(tile(0).state, "NO RESULT");
    EXPECT_EQ(tile(0).fail, 0);
    EXPECT_TRUE(status().contains("abnormally")) << status().toStdString();
    EXPECT_TRUE(status().endsWith("dwl: internal error"));
    EXPECT_TRUE(w.startButton()->isEnabled());

    // Unlocking while it runs stops it, then unlocks.
    writeScript({kStationStarted, "!int", R"({"event":"station_stopped","reason":"interrupted"})"});
    w.startButton()->click();
    EXPECT_TRUE(w.unlockButton()->isEnabled());
    {
        guitest::ModalAnswer yes(press("Yes"));
        w.unlockButton()->click();
        EXPECT_TRUE(yes.answered());
        EXPECT_TRUE(yes.text().find("stops the station") != std::string::npos);
    }
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_FALSE(w.settingsBox()->locked());

    StationSettings one;
    one.ports = {"COM1"};
    StationControl missing(dir.file("no-such-program"), one, false);
    missing.start();
    EXPECT_EQ(missing.phase(), StationControl::IDLE);
    EXPECT_EQ(missing.window().totalsBar()->statusText().left(38),
              "Stopped: the station could not start: ");
    EXPECT_TRUE(missing.window().startButton()->isEnabled());
    EXPECT_FALSE(missing.window().settingsBox()->locked());
}

// At 1024x768 every button shows and the image fields keep a usable width; the window and a
// tile's log each have a close of their own for a screen without a window manager.
TEST_F(StationWindowTest, FitsASmallScreenAndClosesWithoutAWindowManager) {
    StationSettings settings;
    settings.ports = {"COM1", "COM2", "COM3", "COM4"};
    const std::string name = std::string(60, 'n') + ".bin";
    testsupport::writeBytes(dir.file(name), std::vector<uint8_t>{1});
    settings.bin = dir.file(name);
    settings.ogm = dir.file("missing-image-with-a-long-name-" + std::string(40, 'm') + ".ogm");
    make({kStationStarted}, settings);
    StationWindow& w = station->window();
    w.totalsBar()->setResults(QString::fromStdString(dir.file(std::string(80, 'r') + ".sqlite")),
                              QStringLiteral("server: 0 waiting, not reached yet (results server: "
                                             "connection refused at 127.0.0.1:5999)"));
    w.setGeometry(0, 0, 1024, 768);
    guitest::pump();
    EXPECT_LE(w.width(), 1024);
    EXPECT_LE(w.height(), 768);
    for (QPushButton* b : {w.startButton(), w.stopButton(), w.closeButton()})
        EXPECT_TRUE(w.rect().contains(QRect(b->mapTo(&w, QPoint(0, 0)), b->size())))
            << b->text().toStdString();
    for (QLineEdit* field : w.settingsBox()->findChildren<QLineEdit*>())
        EXPECT_GE(field->width(), 250) << field->objectName().toStdString();

    bool closed = false;
    station->setClosedObserver([&closed] { closed = true; });
    station->showLog(0);
    ASSERT_TRUE(w.logView()->isVisible());
    auto* logClose = w.logView()->findChild<QPushButton*>(QStringLiteral("stationLogClose"));
    ASSERT_NE(logClose, nullptr);
    logClose->click();
    EXPECT_FALSE(w.logView()->isVisible());
    w.closeButton()->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(closed);
}

// Takes the pages the program asks the desktop to open.
class PageCatcher : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

// Open report: dimmed until a results file is known, then dwl results --html on the file the
// station records to, into the user's data folder, and that page opened; hidden where the
// desktop has no browser.
TEST_F(StationWindowTest, OpensTheReportOfItsResults) {
    const std::string dataHome = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    PageCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    make({kStationStarted, R"({"event":"station_stopped","reason":"ports_done"})"});
    StationWindow& w = station->window();
    QPushButton* report = w.reportButton();
    EXPECT_TRUE(report->isVisible());
    EXPECT_FALSE(report->isEnabled());
    w.startButton()->click();
    ASSERT_TRUE(waitFor([&] { return stopped(); }));
    EXPECT_TRUE(report->isEnabled());
    report->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!catcher.urls.empty()) loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(dwlgui_ReportPath()));
    EXPECT_TRUE(dwlgui_ReportPath().startsWith(QString::fromStdString(dir.file("data/"))));
    std::ifstream page(dwlgui_ReportPath().toStdString());
    std::string text;
    std::getline(page, text);
    EXPECT_EQ(text, "report of /tmp/r.sqlite");

    // A results file set in the settings serves before the station ran.
    StationSettings set;
    set.ports = {"COM1"};
    set.results = dir.file("line.sqlite");
    StationControl ready(FAKE_STATION, set, false);
    EXPECT_EQ(ready.reportSource(), set.results);
    EXPECT_TRUE(ready.window().reportButton()->isEnabled());

    const std::string path = getenv("PATH");
    setenv("PATH", dir.path().c_str(), 1);
    StationControl noBrowser(FAKE_STATION, set, false);
    noBrowser.window().show();
    EXPECT_FALSE(noBrowser.window().reportButton()->isVisible());
    setenv("PATH", path.c_str(), 1);
    if (dataHome.empty())
        unsetenv("XDG_DATA_HOME");
    else
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
}

TEST(StationTileGrid, ThirtyTwoTilesFitAFullHdScreen) {
    // The room the window leaves the tiles at 1920x1080.
    EXPECT_EQ(StationTileGrid::columnsFor(32, 1900, 800), 8);
    EXPECT_EQ(StationTileGrid::columnsFor(4, 1900, 800), 2);
    EXPECT_EQ(StationTileGrid::columnsFor(1, 1900, 800), 1);
    EXPECT_EQ(StationTileGrid::columnsFor(32, 500, 400), 2);

    StationTileGrid grid;
    grid.resize(1900, 800);
    grid.setCount(32);
    grid.fitTo(1900, 800);
    EXPECT_LE(grid.minimumHeight(), 800);
    const QRect last = grid.tile(31)->geometry();
    EXPECT_LE(last.bottom(), 800);
    EXPECT_LE(last.right(), 1900);
    EXPECT_GE(last.width(), 200);
    grid.setCount(3);
    EXPECT_EQ(grid.count(), 3);
}

} // namespace

#include "ui_station_test.moc"

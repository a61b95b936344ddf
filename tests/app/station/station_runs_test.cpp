// dwl station against emulated handsets that come one after another (dwl-handset-sim
// --instant --sessions): the counts, events and rows of a mixed run with a failing handset and
// a port lost and back; a port's process and the station killed mid-run; Ctrl-C once and
// twice; runs a busy or damaged results file refuses; dwl results over what the station
// recorded, also on a read-only mount.
#include "tests/app/cli/dwl_program.h"
#include "tests/support/child_process.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_files.h"

#include "app/cli/port_fanout.h"
#include "app/results/results_db.h"
#include "app/results/results_journal.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using nlohmann::json;

namespace {

std::string program(const char* name) {
    return testsupport::binaryDir() + "/app/" + name;
}

// dwl-handset-sim --instant with its arguments; its device, or empty.
std::unique_ptr<testsupport::ChildProcess> startHandsets(const std::vector<std::string>& extra,
                                                         std::string* device) {
    std::vector<std::string> args = {"--instant", "--gap", "0.2"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto sim = std::make_unique<testsupport::ChildProcess>(program("dwl-handset-sim"), args);
    const std::string line = sim->readLine(5000);
    *device = line.rfind("dwl-handset-sim: ", 0) == 0 ? line.substr(17) : "";
    return sim;
}

// dwl station --json-lines, its event lines read as they come.
class Station {
  public:
    // results: the database; default runs.sqlite of the folder.
    // extra: more options; with them the station's standard input is a pipe (scan()).
    Station(const testsupport::TempDir& dir, const std::vector<std::string>& ports,
            const std::string& image, std::string results = "",
            const std::vector<std::string>& extra = {}) {
        if (results.empty()) results = dir.file("runs.sqlite");
        std::vector<std::string> args = {
            "station",   "--json-lines", "-C",        clitest::examples(),
            "--bin",     image,          "--results", results,
            "--station", "line-1",       "--log",     dir.file("port.log")};
        for (const std::string& p : ports) {
            args.push_back("-p");
            args.push_back(p);
        }
        args.insert(args.end(), extra.begin(), extra.end());
        process_ =
            std::make_unique<testsupport::ChildProcess>(program("dwl"), args, !extra.empty());
    }
    // A line on its standard input, as a scanner types it.
    void scan(const std::string& line) { EXPECT_TRUE(process_->write(line + "\n")) << line; }
    pid_t pid() const { return process_->pid(); }
    // The next event of this name (and port, when given); null when the station ended or a
    // minute passed first.
    json waitFor(const std::string& name, const std::string& port = "") {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < end) {
            const std::string line = process_->readLine(60000);
            if (line.empty()) return nullptr;
            const json e = json::parse(line, nullptr, false);
            EXPECT_FALSE(e.is_discarded()) << line;
            if (e.is_discarded()) continue;
            events.push_back(e);
            if (e["event"] == name && (port.empty() || e["port"] == port)) return e;
        }
        return nullptr;
    }
    // Reads to the end; the exit status.
    int finish() {
        while (!waitFor("no such event").is_null()) {
        }
        const int raw = process_->stop();
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::vector<json> events;

  private:
    std::unique_ptr<testsupport::ChildProcess> process_;
};

std::vector<json> named(const std::vector<json>& events, const std::string& name) {
    std::vector<json> out;
    for (const json& e : events)
        if (e["event"] == name) out.push_back(e);
    return out;
}

std::vector<dwlcli::StoredRun> rows(const std::string& file) {
    dwlcli::ResultsDb db;
    std::vector<dwlcli::StoredRun> runs;
    std::string why;
    EXPECT_TRUE(db.openForReading(file, &why) && db.select({}, &runs, &why)) << why;
    return runs;
}

std::string integrity(const std::string& file) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
        if (s != nullptr && sqlite3_step(s) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

// The station's port processes.
std::vector<pid_t> portProcesses(pid_t station) {
    std::ifstream children("/proc/" + std::to_string(station) + "/task/" + std::to_string(station) +
                           "/children");
    std::vector<pid_t> pids;
    for (pid_t pid; children >> pid;)
        pids.push_back(pid);
    return pids;
}

// The port process of the station that has `device` open (a run or a wait on it).
pid_t portProcess(pid_t station, const std::string& device) {
    char real[4096] = "";
    if (realpath(device.c_str(), real) == nullptr) return -1;
    for (pid_t pid : portProcesses(station)) {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        DIR* dir = opendir(fds.c_str());
        for (dirent* e; dir != nullptr && (e = readdir(dir)) != nullptr;) {
            char target[4096] = "";
            const ssize_t n = readlink((fds + "/" + e->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == real) {
                closedir(dir);
                return pid;
            }
        }
        if (dir != nullptr) closedir(dir);
    }
    return -1;
}

// Sleeps until the process (not a child of the test) has ended, at most a minute.
bool waitForEnd(pid_t pid) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return true; // already gone
    pollfd p{fd, POLLIN, 0};
    const bool ended = poll(&p, 1, 60000) == 1;
    close(fd);
    return ended;
}

std::string smallImage(const testsupport::TempDir& dir, size_t bytes) {
    const std::string path = dir.file("image.bin");
    testsupport::writeBytes(path, std::string(bytes, '\x5a'));
    return path;
}

TEST(Station, MixedRunCountsRecordsAndReportsEveryHandset) {
    testsupport::TempDir dir;
    std::string a, b1;
    const auto simA = startHandsets({"--sessions", "2"}, &a);
    // Port B's second handset fails on its first sector; then its adapter is pulled, and a
    // new one comes back under the same name with one more handset.
    const auto simB = startHandsets(
        {"--sessions", "2", "--fail-sessions", "2", "--wrong-reply", "SectorAck"}, &b1);
    ASSERT_FALSE(a.empty() || b1.empty());
    const std::string b = dir.file("ttyB");
    ASSERT_EQ(symlink(b1.c_str(), b.c_str()), 0);
    Station station(dir, {a, b}, smallImage(dir, 3000));

    json started = station.waitFor("station_started");
    ASSERT_FALSE(started.is_null());
    EXPECT_EQ(started["ports"], json({a, b}));
    EXPECT_EQ(started["mode"], 1);
    EXPECT_EQ(started["images"][0]["size"], 3000);
    EXPECT_EQ(started["images"][0]["byte_sum"], 3000 * 0x5a);
    json failed;
    for (int run = 0; run < 2; run++) {
        failed = station.waitFor("run_ended", b);
        ASSERT_FALSE(failed.is_null());
    }
    EXPECT_FALSE(failed["passed"]);
    EXPECT_EQ(failed["result"]["result"]["family"], 11);
    ASSERT_FALSE(failed["result"]["sectors"].empty());
    EXPECT_EQ(failed["result"]["sectors"][0]["tries"], 1);
    EXPECT_EQ(failed["result"]["sectors"][0]["result"], "failed");

    simB->stop();
    unlink(b.c_str());
    json lost = station.waitFor("port_lost", b);
    ASSERT_FALSE(lost.is_null());
    EXPECT_NE(lost["reason"].get<std::string>().find("No such file"), std::string::npos) << lost;
    std::string b2;
    const auto simB2 = startHandsets({"--sessions", "1"}, &b2);
    ASSERT_EQ(symlink(b2.c_str(), b.c_str()), 0);
    ASSERT_FALSE(station.waitFor("port_back", b).is_null());
    ASSERT_FALSE(station.waitFor("run_ended", b).is_null());
    while (named(station.events, "run_ended").size() < 5)
        ASSERT_FALSE(station.waitFor("run_ended").is_null());
    const json totals = station.waitFor("totals");
    EXPECT_EQ(totals["pass"], 4);
    EXPECT_EQ(totals["fail"], 1);
    EXPECT_EQ(totals["yield_percent"], 80.0);
    kill(station.pid(), SIGINT);
    EXPECT_EQ(station.finish(), 0);
    EXPECT_EQ(named(station.events, "station_stopped").back()["reason"], "interrupted");
    // Every run once, in its order; the waits between them are not runs.
    EXPECT_EQ(named(station.events, "run_started").size(), 5u);
    for (const json& p : named(station.events, "progress"))
        EXPECT_TRUE(p["stage"] == "booting" || p["stage"] == "writing") << p;

    const std::vector<dwlcli::StoredRun> runs = rows(dir.file("runs.sqlite"));
    ASSERT_EQ(runs.size(), 5u);
    std::set<std::string> ids;
    int failures = 0;
    for (const dwlcli::StoredRun& r : runs) {
        ids.insert(r.runId);
        EXPECT_EQ(r.station, "line-1");
        EXPECT_TRUE(r.port == a || r.port == b) << r.port;
        EXPECT_LT(r.startedAt, r.endedAt);
        EXPECT_FALSE(r.cancelled);
        if (!r.passed) {
            failures++;
            EXPECT_EQ(r.port, b);
            EXPECT_EQ(r.family, 11);
        }
    }
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(integrity(dir.file("runs.sqlite")), "ok");
    // The port's log holds its runs, not the waits between them.
    std::ifstream log(dwlcli::perPortLogFile(dir.file("port.log"), a));
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    size_t results = 0;
    for (size_t at = text.find("result: "); at != std::string::npos;
         at = text.find("result: ", at + 1))
        results++;
    EXPECT_EQ(results, 2u) << text;
    // Nor the wait for a third handset that Ctrl-C ended.
    EXPECT_EQ(text.find("no answer from the boot loader"), std::string::npos) << text;
    EXPECT_EQ(text.find("cancelled"), std::string::npos) << text;

    const clitest::Run report =
        clitest::runDwl("results --db " + clitest::quoted(dir.file("runs.sqlite")));
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("total                           5      4      1         0   80.0 %"),
              std::string::npos)
        << report.out;
}

// Killed with SIGKILL mid-run: a port's process (the station starts it again; the other
// port goes on), then the station itself (its ports cancel their runs). No finished run is
// lost, the unfinished ones leave no half row, and the file stays sound.
TEST(Station, KilledMidRunLosesNoFinishedRunAndLeavesNoHalfRow) {
    testsupport::TempDir dir;
    std::string a, b;
    const auto simA = startHandsets({"--sessions", "3"}, &a);
    const auto simB = startHandsets({"--sessions", "3"}, &b);
    ASSERT_FALSE(a.empty() || b.empty());
    // Large enough that a run lasts some seconds of wire time, even on a loaded machine.
    Station station(dir, {a, b}, smallImage(dir, 200000));
    const json killedRun = station.waitFor("run_started", a);
    ASSERT_FALSE(killedRun.is_null());
    const pid_t portA = portProcess(station.pid(), a);
    ASSERT_GT(portA, 0);
    kill(portA, SIGKILL);
    const json lost = station.waitFor("port_lost", a);
    ASSERT_FALSE(lost.is_null());
    EXPECT_NE(lost["reason"].get<std::string>().find("signal 9 during a run"), std::string::npos)
        << lost;
    ASSERT_FALSE(station.waitFor("port_back", a).is_null());
    // The next handset on A is flashed by the new process; B went on all along.
    const json again = station.waitFor("run_ended", a);
    ASSERT_FALSE(again.is_null());
    EXPECT_TRUE(again["passed"]) << again;
    const json cut = station.waitFor("run_started");
    ASSERT_FALSE(cut.is_null());
    const std::vector<pid_t> ports = portProcesses(station.pid());
    kill(station.pid(), SIGKILL);
    for (pid_t port : ports)
        ASSERT_TRUE(waitForEnd(port));
    station.finish();

    // The runs cut by the station's end were cancelled by their ports: recorded as such.
    std::set<std::string> unfinished;
    for (const json& e : named(station.events, "run_started"))
        unfinished.insert(e["run_id"]);
    for (const json& e : named(station.events, "run_ended"))
        unfinished.erase(e["run_id"]);
    std::set<std::string> recorded;
    for (const dwlcli::StoredRun& r : rows(dir.file("runs.sqlite"))) {
        recorded.insert(r.runId);
        EXPECT_FALSE(r.endedAt.empty());
        EXPECT_EQ(r.cancelled, unfinished.count(r.runId) == 1) << r.runId;
    }
    for (const json& e : named(station.events, "run_ended"))
        EXPECT_EQ(recorded.count(e["run_id"]), 1u) << e;
    EXPECT_EQ(recorded.count(cut["run_id"]), 1u);
    EXPECT_EQ(recorded.count(killedRun["run_id"]), 0u);
    EXPECT_EQ(integrity(dir.file("runs.sqlite")), "ok");
}

// Ctrl-C once: the run in progress ends as it would have, then the station stops. Twice: the
// run is cancelled, recorded as cancelled and logged as possibly partly written.
TEST(Station, CtrlCOnceFinishesTheRunTwiceCancelsIt) {
    struct Case {
        int presses;
        bool passed, cancelled;
        const char* reason;
        bool fullDisk; // the port's log on a full disk: said, and the station's status 74
    };
    for (const Case& c :
         {Case{1, true, false, "interrupted", false}, Case{2, false, true, "cancelled", false},
          Case{1, true, false, "interrupted", true}}) {
        SCOPED_TRACE(std::to_string(c.presses) + (c.fullDisk ? ", full disk" : ""));
        testsupport::TempDir dir;
        std::string a;
        const auto sim = startHandsets({"--sessions", "2"}, &a);
        if (c.fullDisk) {
            ASSERT_EQ(symlink("/dev/full", dwlcli::perPortLogFile(dir.file("port.log"), a).c_str()),
                      0);
        }
        // Some seconds of wire time: the presses land while it runs, even on a loaded machine.
        Station station(dir, {a}, smallImage(dir, 200000));
        ASSERT_FALSE(station.waitFor("progress", a).is_null());
        // Each press once the station has taken the one before.
        for (int i = 0; i < c.presses; i++) {
            kill(station.pid(), SIGINT);
            const json stopping = station.waitFor("stopping");
            ASSERT_FALSE(stopping.is_null());
            EXPECT_EQ(stopping["cancel"], i == 1);
        }
        const json ended = station.waitFor("run_ended", a);
        ASSERT_FALSE(ended.is_null());
        EXPECT_EQ(ended["passed"], c.passed) << ended;
        EXPECT_EQ(ended["cancelled"], c.cancelled) << ended;
        EXPECT_EQ(station.finish(), c.fullDisk ? 74 : 0);
        EXPECT_EQ(named(station.events, "station_stopped").back()["reason"], c.reason);
        // The second handset is not started on.
        EXPECT_EQ(named(station.events, "run_started").size(), 1u);
        const std::vector<dwlcli::StoredRun> runs = rows(dir.file("runs.sqlite"));
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].passed, c.passed);
        EXPECT_EQ(runs[0].cancelled, c.cancelled);
        if (c.fullDisk) continue;
        std::ifstream log(dwlcli::perPortLogFile(dir.file("port.log"), a));
        std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.find("the flash may be partly written") != std::string::npos, c.cancelled)
            << text;
    }
}

// Durations come from the monotonic clock, time stamps from the system's: with the system clock
// stepped an hour back a second into the run (libfaketime), a run on a real port still reports
// the wire's time, and its row ends as long after its start as the run took. (A clock that
// crawls would do too, but libfaketime stretches every sleep by the same rate.)
TEST(Station, DurationsKeepToTheMonotonicClockWhateverTheSystemClockDoes) {
    const char* faketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
    if (access(faketime, R_OK) != 0) GTEST_SKIP() << "libfaketime is not installed";
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's runtime must come first among the libraries; a preloaded one refuses
    // the program.
    GTEST_SKIP() << "the sanitizer build takes no preloaded library";
#endif
    testsupport::TempDir dir;
    testsupport::ChildProcess sim(program("dwl-handset-sim"), {});
    const std::string line = sim.readLine(5000);
    ASSERT_EQ(line.rfind("dwl-handset-sim: ", 0), 0u) << line;
    // The run starts at once and takes more than two seconds of wire time (the boot alone more
    // than one): the step comes in its middle.
    setenv("LD_PRELOAD", faketime, 1);
    setenv("FAKETIME", "-3600", 1);
    setenv("FAKETIME_START_AFTER_SECONDS", "1", 1);
    setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    const clitest::Run run = clitest::runDwl("flash --json -C " + clitest::examples() + " --port " +
                                             line.substr(17) + " --bin " + smallImage(dir, 50000) +
                                             " --results " + dir.file("runs.sqlite"));
    for (const char* name :
         {"LD_PRELOAD", "FAKETIME", "FAKETIME_START_AFTER_SECONDS", "FAKETIME_DONT_FAKE_MONOTONIC"})
        unsetenv(name);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const json j = run.json();
    const double elapsed = j["elapsed_seconds"].get<double>();
    // No faster than the wire at 460800 baud allows.
    EXPECT_GE(elapsed, j["bytes_written"].get<double>() / 46080.0) << j;
    EXPECT_LT(j["bytes_per_second"].get<double>(), 46080.0) << j;
    const std::vector<dwlcli::StoredRun> runs = rows(dir.file("runs.sqlite"));
    ASSERT_EQ(runs.size(), 1u);
    double started = 0, ended = 0;
    ASSERT_TRUE(dwlcli::parseTimeOrAge(runs[0].startedAt, 0, &started));
    ASSERT_TRUE(dwlcli::parseTimeOrAge(runs[0].endedAt, 0, &ended));
    EXPECT_NEAR(ended - started, runs[0].durationSeconds, 0.5)
        << runs[0].startedAt << " to " << runs[0].endedAt;
    EXPECT_NEAR(runs[0].durationSeconds, elapsed, 0.01);
}

// A station of a line with a results server: the runs are recorded in results.sqlite of the
// working folder first, and the station's sender passes them on; its state comes as event lines,
// and its last attempt at the stop takes the last run along.
TEST(Station, RunsReachTheLinesResultsServer) {
    testsupport::PostgresServer server;
    if (server.missing()) GTEST_SKIP() << server.problem();
    ASSERT_EQ(server.problem(), "");
    testsupport::TempDir dir;
    testsupport::WorkingDirectory cwd(dir.path());
    std::string a;
    const auto sim = startHandsets({"--sessions", "2"}, &a);
    Station station(dir, {a}, smallImage(dir, 20000), server.address());
    ASSERT_FALSE(station.waitFor("run_ended", a).is_null());
    ASSERT_FALSE(station.waitFor("run_ended", a).is_null());
    kill(station.pid(), SIGINT);
    EXPECT_EQ(station.finish(), 0);
    EXPECT_FALSE(named(station.events, "server").empty());
    EXPECT_EQ(rows(dir.file("results.sqlite")).size(), 2u);
    std::string count;
    EXPECT_EQ(server.admin("SELECT count(*) FROM runs WHERE station = 'line-1'", &count), "");
    EXPECT_EQ(count, "2");
}

// Holds the results file as another program's write transaction does (BEGIN IMMEDIATE).
class WriterHold {
  public:
    explicit WriterHold(const std::string& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriterHold() {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }

  private:
    sqlite3* db_ = nullptr;
};

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::set<std::string> runIds(const std::string& file) {
    std::set<std::string> ids;
    for (const dwlcli::StoredRun& r : rows(file))
        ids.insert(r.runId);
    return ids;
}

// A passed run on COM1 of station `station`, started at `at` (epoch seconds).
dwlcli::RunRecord plainRun(const std::string& station, double at) {
    dwlcli::RunReport report;
    report.port = "COM1";
    report.device = "/dev/ttyS0";
    report.result.message = "Download successful";
    return dwlcli::makeRunRecord(report, at, at + 9, 9, station);
}

// Records one plain run per station name given, a minute apart.
void recordPlainRuns(const std::string& file, const std::vector<std::string>& stations) {
    dwlcli::ResultsDb db;
    std::string why;
    ASSERT_TRUE(db.openForWriting(file, &why)) << why;
    for (size_t i = 0; i < stations.size(); i++)
        ASSERT_TRUE(db.insert(plainRun(stations[i], 1.8e9 + 60.0 * i), &why)) << why;
}

TEST(Station, RunsTheFileRefusesWaitInItsJournalAndAreNeverLost) {
    testsupport::TempDir dir;
    const std::string file = dir.file("runs.sqlite");
    const std::string journal = dwlcli::journalPath(file);
    // Four handsets, a second apart: time for the test to take the file between two runs.
    testsupport::ChildProcess sim(program("dwl-handset-sim"),
                                  {"--instant", "--sessions", "4", "--gap", "1"});
    const std::string line = sim.readLine(5000);
    ASSERT_EQ(line.rfind("dwl-handset-sim: ", 0), 0u) << line;
    const std::string a = line.substr(line.find(' ') + 1);
    Station station(dir, {a}, smallImage(dir, 20000));
    json ended = station.waitFor("run_ended", a);
    ASSERT_FALSE(ended.is_null());
    EXPECT_EQ(ended["recorded"], true);

    // Another program holds the file: the run waits in the journal, and the board says so at
    // once.
    auto hold = std::make_unique<WriterHold>(file);
    const json refused = station.waitFor("run_ended", a);
    ASSERT_FALSE(refused.is_null());
    EXPECT_EQ(refused["recorded"], false);
    EXPECT_EQ(refused["waiting_in"], journal);
    json unrecorded = station.waitFor("unrecorded");
    ASSERT_FALSE(unrecorded.is_null());
    EXPECT_EQ(unrecorded["waiting"], 1);
    EXPECT_EQ(unrecorded["journal"], journal);
    EXPECT_NE(unrecorded["error"].get<std::string>().find("locked"), std::string::npos);
    EXPECT_TRUE(exists(journal));

    // Let go: the next run takes the waiting one along, and the board says all are recorded.
    hold.reset();
    ended = station.waitFor("run_ended", a);
    ASSERT_FALSE(ended.is_null());
    EXPECT_EQ(ended["recorded"], true);
    unrecorded = station.waitFor("unrecorded");
    ASSERT_FALSE(unrecorded.is_null());
    EXPECT_EQ(unrecorded["waiting"], 0);
    EXPECT_EQ(runIds(file).count(refused["run_id"]), 1u);
    EXPECT_FALSE(exists(journal));

    // Held again through the stop: the station does not end with 0, and the run waits on disk.
    hold = std::make_unique<WriterHold>(file);
    const json last = station.waitFor("run_ended", a);
    ASSERT_FALSE(last.is_null());
    EXPECT_EQ(last["recorded"], false);
    kill(station.pid(), SIGINT);
    EXPECT_EQ(station.finish(), dwlcli::kExitRecordLost);
    EXPECT_EQ(rows(file).size(), 3u);
    EXPECT_EQ(dwlcli::journalCount(file), 1);
    hold.reset();

    // A crash cut the journal's last line short; the next run that records adds the waiting
    // run once and skips the cut line.
    {
        std::ofstream cut(journal, std::ios::app);
        cut << R"({"run_id":"cut-short","started_at")";
    }
    const clitest::Run next = clitest::runDwl("flash --sim --bin " + clitest::sample("sample.bin") +
                                                  " --results " + clitest::quoted(file),
                                              dir.path());
    EXPECT_EQ(next.status, 0) << next.err;
    const std::set<std::string> ids = runIds(file);
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(ids.count(last["run_id"]), 1u);
    EXPECT_EQ(ids.count("cut-short"), 0u);
    EXPECT_FALSE(exists(journal));
}

// Rows of a journal whose runs reached the file already (a crash between the two) are added
// once; a line cut short does not spoil the line appended after it.
TEST(Station, JournalReplayAddsEachRunOnce) {
    testsupport::TempDir dir;
    const std::string file = dir.file("r.sqlite");
    const dwlcli::RunRecord a = plainRun("s", 1.8e9);
    const dwlcli::RunRecord b = plainRun("s", 1.8e9 + 60);
    dwlcli::ResultsDb db;
    std::string why;
    ASSERT_TRUE(db.openForWriting(file, &why) && db.insert(a, &why)) << why;
    ASSERT_TRUE(dwlcli::journalAppend(file, dwlcli::runColumnValues(a), &why)) << why;
    {
        std::ofstream cut(dwlcli::journalPath(file), std::ios::app);
        cut << R"({"run_id":"cut)";
    }
    ASSERT_TRUE(dwlcli::journalAppend(file, dwlcli::runColumnValues(b), &why)) << why;
    EXPECT_EQ(dwlcli::journalCount(file), 2);
    long long waiting = -1;
    ASSERT_TRUE(dwlcli::journalReplay(file, &db, &waiting, &why)) << why;
    EXPECT_EQ(waiting, 0);
    EXPECT_EQ(runIds(file), (std::set<std::string>{a.runId, b.runId}));
    EXPECT_FALSE(exists(dwlcli::journalPath(file)));
}

TEST(Station, AResultsFileWithDamagedPagesIsRefusedAtTheStart) {
    testsupport::TempDir dir;
    const std::string file = dir.file("runs.sqlite");
    recordPlainRuns(file, std::vector<std::string>(8, "s"));
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(5000);
        f << std::string(2000, 'G');
    }
    std::string a;
    const auto sim = startHandsets({}, &a);
    const clitest::Run run = clitest::runDwl("station -C " + clitest::quoted(clitest::examples()) +
                                                 " --bin " + clitest::sample("sample.bin") +
                                                 " --results " + clitest::quoted(file) + " -p " + a,
                                             dir.path());
    EXPECT_EQ(run.status, dwlcli::kExitNoInput);
    EXPECT_TRUE(run.has("dwl: cannot record runs in " + file + ": its pages are damaged"))
        << run.err;
}

// dwl results on a copy of a station's file on a read-only mount, without its WAL files, and
// with a newline in a station's name.
TEST(Station, ResultsReadAReadOnlyMountOneNamePerLine) {
    testsupport::TempDir dir;
    const std::string source = dir.file("src"), mounted = dir.file("ro");
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(mounted.c_str(), 0755), 0);
    const std::string file = source + "/runs.sqlite";
    recordPlainRuns(file, {"line\nB", "line-A"});
    ASSERT_FALSE(exists(file + "-wal"));
    // A mount of its own, in a mount namespace of its own: nothing is left behind.
    const std::string mount = "unshare -m sh -c 'mount --bind " + source + " " + mounted +
                              " && mount -o remount,bind,ro " + mounted + " && " +
                              clitest::quoted(clitest::dwlProgram()) + " results --db " + mounted +
                              "/runs.sqlite; echo \"status $?\"'";
    FILE* p = popen((mount + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;)
        out.append(buffer, n);
    pclose(p);
    if (out.find("mount:") != std::string::npos || out.find("unshare:") != std::string::npos)
        GTEST_SKIP() << "no read-only mount here: " << out;
    EXPECT_NE(out.find("status 0"), std::string::npos) << out;
    EXPECT_NE(out.find("2 runs"), std::string::npos) << out;
    // Every line of the table starts as the table does: the name's newline is shown, not
    // written.
    EXPECT_NE(out.find("station line\\nB "), std::string::npos) << out;
    EXPECT_EQ(out.find("\nB "), std::string::npos) << out;
}

} // namespace

namespace {

// --units-from-stdin --require-unit: a port flashes no handset before its scan, records the
// unit with the run, holds a scan that comes during a run for the next one, and refuses what no
// label can be.
TEST(Station, UnitScansAreWaitedForRecordedHeldOrRefused) {
    testsupport::TempDir dir;
    std::string a;
    // Slow replies: the run lasts long enough for a scan to come in its middle.
    const auto sim = startHandsets({"--sessions", "3", "--delay", "0.05"}, &a);
    ASSERT_FALSE(a.empty());
    Station station(dir, {a}, smallImage(dir, 3000), "", {"--units-from-stdin", "--require-unit"});
    json waiting = station.waitFor("waiting", a);
    ASSERT_FALSE(waiting.is_null());
    EXPECT_TRUE(waiting["unit_required"]);
    EXPECT_TRUE(waiting["unit"].is_null());

    const struct {
        std::string line, reason;
    } refused[] = {
        {"COM9 U-1", "no port COM9 at this station (" + a + ")"},
        {a, "no unit after the port " + a + ": give PORT ID"},
        {a + " U\x01"
             "1",
         "the unit's label holds a control character (0x01)"},
        {a + " " + std::string(65, '7'), "the unit's label is 65 characters long (at most 64)"},
        {a + " U-\xff", "the unit's label is not UTF-8 text"},
    };
    for (const auto& r : refused) {
        station.scan(r.line);
        const json e = station.waitFor("unit_refused");
        ASSERT_FALSE(e.is_null()) << r.line;
        EXPECT_EQ(e["reason"], r.reason) << r.line;
    }
    // A blank line (a scanner's extra Enter) is no scan; 64 characters are.
    station.scan("");
    const std::string longest(64, '8');
    station.scan(a + " " + longest);
    json scanned = station.waitFor("unit_scanned", a);
    ASSERT_FALSE(scanned.is_null());
    EXPECT_EQ(scanned["unit"], longest);
    // The label scanned last counts, with the spaces around it gone.
    station.scan(a + "   U-1  \r");
    scanned = station.waitFor("unit_scanned", a);
    EXPECT_EQ(scanned["unit"], "U-1");
    EXPECT_EQ(scanned["held"], false);
    EXPECT_EQ(scanned["replaces"], longest);
    json started = station.waitFor("run_started", a);
    ASSERT_FALSE(started.is_null());
    EXPECT_EQ(started["unit"], "U-1");
    // During the run: held for the next one.
    station.scan(a + " U-2");
    scanned = station.waitFor("unit_scanned", a);
    EXPECT_EQ(scanned["held"], true);
    json ended = station.waitFor("run_ended", a);
    EXPECT_EQ(ended["unit"], "U-1");
    started = station.waitFor("run_started", a);
    EXPECT_EQ(started["unit"], "U-2");
    ASSERT_FALSE(station.waitFor("run_ended", a).is_null());
    // No scan: the third handset waits, however long.
    waiting = station.waitFor("waiting", a);
    EXPECT_TRUE(waiting["unit"].is_null());
    EXPECT_TRUE(waiting["unit_required"]);
    station.scan(a + " U-3");
    started = station.waitFor("run_started", a);
    EXPECT_EQ(started["unit"], "U-3");
    ASSERT_FALSE(station.waitFor("run_ended", a).is_null());
    kill(station.pid(), SIGINT);
    EXPECT_EQ(station.finish(), 0);
    // Nothing ran before its scan.
    int scans = 0;
    for (const json& e : station.events) {
        if (e["event"] == "unit_scanned") scans++;
        if (e["event"] == "run_started") {
            EXPECT_GE(scans, 2) << e;
        }
    }
    const std::vector<dwlcli::StoredRun> runs = rows(dir.file("runs.sqlite"));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].unitId, "U-1");
    EXPECT_EQ(runs[1].unitId, "U-2");
    EXPECT_EQ(runs[2].unitId, "U-3");
}

} // namespace

// The line's results server, against a real PostgreSQL server of the test's own: stations that
// send at once, a server that goes away and comes back or stalls on a lock, connection problems
// as the operator reads them, the tables of the version before migrated, and every column
// through both stores.
#include "app/results/results_sender.h"
#include "app/results/results_sender_process.h"
#include "app/results/results_server.h"
#include "app/results/server_error_line.h"
#include "app/results/utc_time.h"
#include "tests/app/cli/dwl_program.h"
#include "tests/app/results/known_runs.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <list>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using dwlcli::ResultsDb;
using dwlcli::ResultsSender;
using dwlcli::ResultsServer;
using dwlcli::SenderStatus;
using dwlcli::UnsentRuns;
using testsupport::PostgresServer;

namespace {

#define NEED_SERVER(server)                                                                        \
    if ((server).missing()) GTEST_SKIP() << (server).problem();                                    \
    ASSERT_EQ((server).problem(), "")

// Records runs first..first+count-1 of a station: the second of every three fails, the third
// has a sector sent twice. The image's name is Latin-1, as an old bench's files are.
void recordRuns(const std::string& file, const std::string& station, int first, int count) {
    ResultsDb db;
    std::string why;
    ASSERT_TRUE(db.openForWriting(file, &why)) << why;
    for (int i = first; i < first + count; i++) {
        dwlcli::RunReport r;
        r.port = i % 2 == 0 ? "COM1" : "COM2";
        r.device = "/dev/ttyUSB" + std::to_string(i % 2);
        r.mode = 1;
        r.baud = 460800;
        r.images.push_back({"binary", "/images/sw-\xe9.bin", 65536, 1234567});
        r.sectors.push_back({"binary", 0x02000000, 0x10000, 0x10000, i % 3 == 2 ? 2 : 1,
                             i % 3 == 2 ? "resent" : "written"});
        r.result.family = i % 3 == 1 ? 6 : 0;
        r.result.hasCode = i % 3 == 1;
        r.result.code = 4;
        r.result.message = i % 3 == 1 ? "The mobile does not answer" : "Download successful";
        r.exitStatus = i % 3 == 1 ? 6 : 0;
        const double t = 1.8e9 + i * 60 + (station == "B" ? 30 : 0);
        ASSERT_TRUE(db.insert(dwlcli::makeRunRecord(r, t, t + 12.5, 12.25, station), &why)) << why;
    }
}

long long serverCount(PostgresServer& server, const std::string& where = "true") {
    std::string value;
    EXPECT_EQ(server.admin("SELECT count(*) FROM runs WHERE " + where, &value), "");
    return atoll(value.c_str());
}

// The status after the first attempt that began after nudge number `nudge` (0: the first one).
SenderStatus settled(const ResultsSender& sender, long long nudge) {
    EXPECT_TRUE(sender.waitUntil(
        [nudge](const SenderStatus& s) { return s.passes > 0 && s.answered >= nudge; }, 60));
    return sender.status();
}

// Everything sent.
void expectAllSent(const SenderStatus& s) {
    EXPECT_EQ(s.waiting, 0);
    EXPECT_EQ(s.error, "");
}

// A sender process and the event lines it writes.
struct Sender {
    pid_t pid = -1;
    int events = -1;
    std::string pending;
    ~Sender() { close(events); }
    // The status of the next event line, waiting a minute at most.
    SenderStatus nextStatus() {
        SenderStatus s;
        for (size_t end; (end = pending.find('\n')) == std::string::npos;) {
            pollfd p{events, POLLIN, 0};
            char buffer[4096];
            const ssize_t n = poll(&p, 1, 60000) == 1 ? read(events, buffer, sizeof buffer) : 0;
            if (n <= 0) {
                ADD_FAILURE() << "no event line from the sender";
                return s;
            }
            pending.append(buffer, static_cast<size_t>(n));
        }
        const size_t end = pending.find('\n');
        EXPECT_TRUE(dwlcli::readServerEvent(pending.substr(0, end), dwlcli::epochNow(), &s))
            << pending.substr(0, end);
        pending.erase(0, end + 1);
        return s;
    }
};

TEST(ResultsServer, TwoStationsAtOnceStoreEveryRunOnceAndReadBackAsLocally) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    recordRuns(dir.file("a.sqlite"), "A", 0, 40);
    recordRuns(dir.file("b.sqlite"), "B", 0, 40);
    std::list<Sender> senders;
    // Two stations' senders, each in its own process as a station starts it, find no tables and
    // make them at the same moment.
    for (const char* station : {"a", "b"}) {
        Sender& s = senders.emplace_back();
        std::string why;
        s.pid = dwlcli::startResultsSender(dir.file(std::string(station) + ".sqlite"),
                                           server.address(), &s.events, &why);
        ASSERT_GT(s.pid, 0) << why;
    }
    for (Sender& s : senders) {
        const SenderStatus status = s.nextStatus();
        expectAllSent(status);
        EXPECT_GT(status.lastReached, 0);
        // Stopped, it makes one last attempt and ends.
        kill(s.pid, SIGTERM);
        int exit = -1;
        EXPECT_EQ(waitpid(s.pid, &exit, 0), s.pid);
        EXPECT_EQ(exit, 0);
    }
    EXPECT_EQ(serverCount(server), 80);
    EXPECT_EQ(serverCount(server, "station = 'B' AND NOT passed"), 13);

    // The report reads the server's runs as it reads a local file's, with the same filters.
    ResultsDb local;
    ResultsServer remote;
    std::string why;
    ASSERT_TRUE(local.openForReading(dir.file("b.sqlite"), &why)) << why;
    ASSERT_TRUE(remote.open(server.address(), &why)) << why;
    const dwlcli::RunFilter filter{dwlcli::utcText(1.8e9 + 10 * 60), "COM2", "B", ""};
    std::vector<dwlcli::StoredRun> mine, theirs;
    ASSERT_TRUE(local.select(filter, &mine, &why)) << why;
    ASSERT_TRUE(remote.select(filter, &theirs, &why)) << why;
    ASSERT_EQ(mine.size(), 15u);
    ASSERT_EQ(theirs.size(), mine.size());
    for (size_t i = 0; i < mine.size(); i++) {
        const dwlcli::StoredRun &m = mine[i], &t = theirs[i];
        EXPECT_EQ(std::tie(m.runId, m.startedAt, m.endedAt, m.station, m.port, m.device, m.passed,
                           m.cancelled, m.family, m.hasCode, m.code, m.resultText, m.exitStatus,
                           m.durationSeconds),
                  std::tie(t.runId, t.startedAt, t.endedAt, t.station, t.port, t.device, t.passed,
                           t.cancelled, t.family, t.hasCode, t.code, t.resultText, t.exitStatus,
                           t.durationSeconds));
    }
    // The CSV table: the local columns in their order, received_at for sent_at.
    std::vector<std::vector<std::string>> csvMine, csvTheirs;
    ASSERT_TRUE(local.selectAll(filter, &csvMine, &why)) << why;
    ASSERT_TRUE(remote.selectAll(filter, &csvTheirs, &why)) << why;
    ASSERT_EQ(csvTheirs.size(), csvMine.size());
    EXPECT_EQ(csvTheirs[0].back(), "received_at");
    for (size_t row = 0; row < csvMine.size(); row++)
        for (size_t c = 0; c + 1 < csvMine[0].size(); c++) {
            const std::string& name = csvMine[0][c];
            if (row == 0 || (name != "bin_image" && name != "result_json")) {
                EXPECT_EQ(csvTheirs[row][c], csvMine[row][c]) << name;
            }
        }
    // The server takes UTF-8 only: the Latin-1 byte became U+FFFD instead of refusing the run.
    EXPECT_EQ(csvTheirs[1][9], "/images/sw-\xef\xbf\xbd.bin");
}

TEST(ResultsServer, ServerStoppedAndStartedAgainEveryRunArrivesOnce) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    const std::string file = dir.file("station.sqlite");
    recordRuns(file, "A", 0, 5);
    // Only nudges and failures make it try: no look at the file falls in between.
    ResultsSender sender(file, server.address(), {600, 0.05, 0.2});
    expectAllSent(settled(sender, 0));

    // The server goes down while the sender holds its connection; the station goes on.
    ASSERT_TRUE(server.stop());
    recordRuns(file, "A", 5, 5);
    const SenderStatus down = settled(sender, sender.nudge());
    EXPECT_EQ(down.waiting, 5);
    EXPECT_EQ(down.error.rfind("results server: ", 0), 0u) << down.error;
    const double now = down.lastReached + 75;
    EXPECT_EQ(dwlcli::serverStatusText(down, now).rfind("server: 5 runs waiting, last reached "
                                                        "75 s ago (",
                                                        0),
              0u)
        << dwlcli::serverStatusText(down, now);
    const nlohmann::ordered_json event = dwlcli::serverEvent(down, now);
    EXPECT_EQ(event["waiting"], 5);
    EXPECT_EQ(event["last_reached_s"], 75.0);
    EXPECT_EQ(event["error"], down.error);

    ASSERT_TRUE(server.start()) << server.problem();
    const SenderStatus up = settled(sender, sender.nudge());
    expectAllSent(up);
    EXPECT_EQ(serverCount(server), 10);
    EXPECT_EQ(dwlcli::serverEvent(up, dwlcli::epochNow())["error"], nullptr);

    // A station that died between the server's commit and its own mark sends the batch again.
    recordRuns(file, "A", 10, 3);
    {
        ResultsDb local;
        ResultsServer direct;
        UnsentRuns batch;
        std::string why;
        int added = 0;
        ASSERT_TRUE(local.openForWriting(file, &why) && local.selectUnsent(100, &batch, &why) &&
                    direct.open(server.address(), &why) && direct.store(batch, &added, &why))
            << why;
        EXPECT_EQ(added, 3);
    }
    expectAllSent(settled(sender, sender.nudge()));
    EXPECT_EQ(serverCount(server), 13);
}

// Another session locks the runs table: the sender's event names the stall within seconds (not
// "0 waiting" and no error), its stop does not wait for the lock, and the runs stay local.
TEST(ResultsServer, ALockedTableIsReportedAndTheStopDoesNotWaitForIt) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    const std::string file = dir.file("a.sqlite");
    recordRuns(file, "A", 0, 5);
    std::string why;
    {
        ResultsServer tables;
        ASSERT_TRUE(tables.open(server.address(), &why)) << why;
    }
    PGconn* locker = PQconnectdb(server.address().c_str());
    ASSERT_EQ(PQstatus(locker), CONNECTION_OK) << PQerrorMessage(locker);
    PQclear(PQexec(locker, "BEGIN"));
    PGresult* locked = PQexec(locker, "LOCK TABLE runs IN ACCESS EXCLUSIVE MODE");
    EXPECT_EQ(PQresultStatus(locked), PGRES_COMMAND_OK) << PQerrorMessage(locker);
    PQclear(locked);

    Sender s;
    s.pid = dwlcli::startResultsSender(file, server.address(), &s.events, &why);
    ASSERT_GT(s.pid, 0) << why;
    const SenderStatus stalled = s.nextStatus();
    EXPECT_EQ(stalled.waiting, 5);
    EXPECT_EQ(stalled.error, "results server: stalled: another session holds a lock on the tables");
    const auto stop = std::chrono::steady_clock::now();
    kill(s.pid, SIGTERM);
    int exit = -1;
    EXPECT_EQ(waitpid(s.pid, &exit, 0), s.pid);
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(6));
    PQfinish(locker);

    ResultsDb local;
    long long waiting = 0;
    ASSERT_TRUE(local.openForReading(file, &why) && local.countUnsent(&waiting, &why)) << why;
    EXPECT_EQ(waiting, 5);
    EXPECT_EQ(serverCount(server), 0);
}

TEST(ResultsServer, ConnectionProblemsGetOneClearLineAndTheRunsWaitLocally) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    const std::string port = std::to_string(server.port());
    const std::string never = std::to_string(testsupport::freeLocalPort());
    const struct {
        std::string address, line;
    } cases[] = {
        {server.address("not-the-password"), "results server: wrong password for user station"},
        {"postgresql://station@127.0.0.1:" + never + "/line",
         "results server: connection refused at 127.0.0.1:" + never},
        {"host=127.0.0.1 port=" + port +
             " user=station dbname=nowhere password=" + PostgresServer::kPassword,
         "results server: no database nowhere"},
    };
    const std::string flash = "flash --sim --bin " + clitest::quoted(clitest::examples()) +
                              "/sample.bin --station bench-1 --results ";
    int waiting = 0;
    for (const auto& c : cases) {
        const clitest::Run run = clitest::runDwl(flash + clitest::quoted(c.address), dir.path());
        waiting++;
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.has("result: Download successful")) << c.address;
        EXPECT_TRUE(run.has("dwl: " + c.line + "\n")) << run.err;
        EXPECT_TRUE(run.has("dwl: " + std::to_string(waiting) + " run" + (waiting > 1 ? "s" : "") +
                            " wait in " + dir.file("results.sqlite")))
            << run.err;
        EXPECT_FALSE(run.has(PostgresServer::kPassword)) << run.err;
    }
    // The next run that reaches the server brings the runs that waited along.
    const clitest::Run run = clitest::runDwl(flash + clitest::quoted(server.address()), dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(run.has("results server")) << run.err;
    EXPECT_EQ(serverCount(server, "station = 'bench-1' AND passed"), 4);
}

// Tables of every version before, each holding runs, are brought to this version with their
// runs; new runs, with their unit, go in beside them.
TEST(ResultsServer, TablesOfEveryVersionBeforeAreMigratedWithTheirRuns) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    for (int older = 1; older < dwlcli::kServerSchemaVersion; older++) {
        SCOPED_TRACE("from version " + std::to_string(older));
        ASSERT_EQ(server.admin("DROP TABLE IF EXISTS runs, schema_version"), "");
        const std::string file = dir.file("a" + std::to_string(older) + ".sqlite");
        recordRuns(file, "A", 0, 6);
        std::string why, value;
        ResultsDb local;
        UnsentRuns batch;
        int added = 0;
        ASSERT_TRUE(local.openForWriting(file, &why) && local.selectUnsent(100, &batch, &why))
            << why;
        {
            ResultsServer before;
            ASSERT_TRUE(before.open(server.address(), older, &why) &&
                        before.store(batch, &added, &why))
                << why;
        }
        ResultsServer now;
        ASSERT_TRUE(now.open(server.address(), &why)) << why;
        EXPECT_EQ(server.admin("SELECT string_agg(version::text, ',' ORDER BY version) FROM "
                               "schema_version",
                               &value),
                  "");
        EXPECT_EQ(value, "1,2,3");
        EXPECT_EQ(serverCount(server, "unit_id IS NULL"), 6);
        if (older < 2) {
            EXPECT_EQ(serverCount(server, "received_at IS NULL"), 6);
        }
        // The per-sector tries can be asked for now.
        EXPECT_EQ(serverCount(server, "(result_json->'sectors'->0->>'tries')::int = 2"), 2);
        // New runs go in beside them, with their unit; the old ones are not sent twice.
        dwlcli::RunReport r;
        r.port = "COM1";
        r.device = "/dev/ttyUSB0";
        r.result.message = "Download successful";
        dwlcli::RunRecord unit = dwlcli::makeRunRecord(r, 1.9e9, 1.9e9 + 10, 10, "A");
        unit.unitId = "IMEI 35-209900-176148-1";
        ASSERT_TRUE(local.insert(unit, &why)) << why;
        recordRuns(file, "A", 6, 2);
        ASSERT_TRUE(local.selectUnsent(100, &batch, &why) && now.store(batch, &added, &why)) << why;
        EXPECT_EQ(added, 3);
        EXPECT_EQ(serverCount(server, "received_at IS NOT NULL"), older < 2 ? 3 : 9);
        std::vector<dwlcli::StoredRun> runs;
        dwlcli::RunFilter filter;
        filter.unit = unit.unitId;
        ASSERT_TRUE(now.select(filter, &runs, &why)) << why;
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].runId, unit.runId);
        EXPECT_EQ(runs[0].unitId, unit.unitId);
        EXPECT_EQ(serverCount(server), 9);
    }

    // A newer program's tables are left alone.
    std::string why;
    const int newer = dwlcli::kServerSchemaVersion + 1;
    EXPECT_EQ(
        server.admin("INSERT INTO schema_version (version) VALUES (" + std::to_string(newer) + ")"),
        "");
    ResultsServer now;
    EXPECT_FALSE(now.open(server.address(), &why));
    EXPECT_EQ(why, "results server: its schema version 4 is newer than this program's (3); "
                   "update dwl");
}

// libpq's texts for causes a test cannot bring about here, and the addresses --results takes.
TEST(ResultsServer, LinesForLibpqMessagesAndAddresses) {
    const struct {
        const char *message, *line;
    } lines[] = {
        {"could not translate host name \"line-db\" to address: Name or service not known\n",
         "results server: unknown host line-db"},
        {"connection to server at \"10.1.2.3\", port 5432 failed: timeout expired\n",
         "results server: unreachable (time-out) at 10.1.2.3:5432"},
        {"connection to server at \"db\" (10.1.2.3), port 5433 failed: fe_sendauth: no password "
         "supplied\n",
         "results server: no password for user station (give it in ~/.pgpass or PGPASSFILE)"},
        {"connection to server at \"db\", port 5432 failed: FATAL:  no pg_hba.conf entry for host "
         "\"10.9.9.9\", user \"station\", database \"line\", no encryption\n",
         "results server: the server does not admit this station (pg_hba.conf): no pg_hba.conf "
         "entry for host \"10.9.9.9\", user \"station\", database \"line\", no encryption"},
        {"connection to server at \"db\", port 5432 failed: FATAL:  the database system is "
         "starting up\n",
         "results server: the database system is starting up"},
    };
    for (const auto& l : lines)
        EXPECT_EQ(dwlcli::connectionErrorLine(l.message, "station"), l.line);
    EXPECT_EQ(dwlcli::statementErrorLine("server closed the connection unexpectedly\n\tThis "
                                         "probably means the server terminated abnormally\n"),
              "results server: connection lost: server closed the connection unexpectedly");
    EXPECT_EQ(dwlcli::statementErrorLine("ERROR:  permission denied for table runs\n"),
              "results server: permission denied for table runs");

    for (const char* file : {"results.sqlite", "line=1.sqlite", "", "/srv/host=a/r.sqlite"})
        EXPECT_FALSE(dwlcli::isServerAddress(file)) << file;
    for (const char* server : {"postgresql://station@db/line", "postgres://db", "host=db dbname=l"})
        EXPECT_TRUE(dwlcli::isServerAddress(server)) << server;
    EXPECT_EQ(dwlcli::serverDisplayName("postgresql://station:secret@db:5433/line?sslmode=require"),
              "postgresql://station@db:5433/line");
    EXPECT_EQ(dwlcli::serverDisplayName("host=db user=station password=secret dbname=line"),
              "postgresql://station@db/line");
}

// A run with every column filled and one with every column that may be NULL left empty go
// through the file and on to the server: each column reads back as it was written, in a file
// made with the first version's table as well as in a new one.
TEST(ResultsServer, EveryColumnRoundTripsThroughBothStores) {
    PostgresServer server;
    NEED_SERVER(server);
    testsupport::TempDir dir;
    dwlcli::RunReport full;
    full.port = "/dev/ttyUSB1";
    full.device = "/dev/ttyUSB1";
    full.mode = 5;
    full.baud = 302325;
    full.images = {{"binary", "/img/a.bin", 65536, 1234567},
                   {"ogm", "/img/a.ogm", 4096, 7654321},
                   {"tfs", "/img/a.tfs", 8192, 42}};
    full.flashIdentified = true;
    full.manufacturerId = 0x89;
    full.deviceId = 0x18;
    full.manufacturerName = "Intel";
    full.deviceName = "28F128";
    full.result = {true, 8, true, 3, "Bad command acknowledge"};
    full.exitStatus = 8;
    full.bytesWritten = 77824;
    full.sectors.push_back({"binary", 0x02000000, 0x10000, 0x10000, 2, "resent"});
    dwlcli::RunRecord a = dwlcli::makeRunRecord(full, 1.8e9, 1.8e9 + 12.5, 12.25, "line-1");
    a.traceFile = "/var/log/dwl/trace.COM1";
    a.unitId = "TRAY 7 \xc3\xa9";
    a.cancelled = true;
    dwlcli::RunReport bare;
    bare.port = "COM2";
    bare.device = "/dev/ttyS1";
    bare.result.message = "";
    const dwlcli::RunRecord b = dwlcli::makeRunRecord(bare, 1.8e9 + 60, 1.8e9 + 61, 0.5, "line-1");

    // The first version's table as the program before wrote it.
    const std::string older = dir.file("older.sqlite");
    ASSERT_TRUE(knownruns::createVersionOneFile(older));
    std::string why;
    ResultsServer remote;
    ASSERT_TRUE(remote.open(server.address(), &why)) << why;
    for (const std::string& file : {older, dir.file("new.sqlite")}) {
        ResultsDb local;
        UnsentRuns batch;
        int added = 0;
        ASSERT_TRUE(local.openForWriting(file, &why) && local.insert(a, &why) &&
                    local.insert(b, &why) && local.selectUnsent(10, &batch, &why))
            << file << ": " << why;
        ASSERT_TRUE(remote.store(batch, &added, &why)) << why;
        std::vector<std::vector<std::string>> mine, theirs;
        ASSERT_TRUE(local.selectAll({}, &mine, &why) && remote.selectAll({}, &theirs, &why)) << why;
        ASSERT_EQ(mine.size(), 3u);
        ASSERT_EQ(theirs.size(), 3u);
        const dwlcli::RunRecord* runs[] = {&a, &b};
        for (size_t row = 1; row < 3; row++) {
            const std::vector<dwlcli::StoredValue> wrote = dwlcli::runColumnValues(*runs[row - 1]);
            ASSERT_EQ(wrote.size(), static_cast<size_t>(dwlcli::kRunColumns));
            for (int c = 0; c < dwlcli::kRunColumns; c++) {
                const std::string name = dwlcli::a_RunColumns[c].name;
                ASSERT_EQ(mine[0][c], name);
                ASSERT_EQ(theirs[0][c], name);
                const std::string expected = wrote[c].isNull ? "" : wrote[c].text;
                if (name == "duration_s") {
                    EXPECT_EQ(strtod(mine[row][c].c_str(), nullptr),
                              strtod(expected.c_str(), nullptr));
                    EXPECT_EQ(theirs[row][c], mine[row][c]);
                } else if (name == "result_json") {
                    // jsonb keeps the values, not the text's key order and spaces.
                    EXPECT_EQ(mine[row][c], expected);
                    EXPECT_EQ(nlohmann::json::parse(theirs[row][c]),
                              nlohmann::json::parse(expected));
                } else {
                    EXPECT_EQ(mine[row][c], expected) << name;
                    EXPECT_EQ(theirs[row][c], expected) << name;
                }
            }
        }
        // The report's fields read the same from both.
        std::vector<dwlcli::StoredRun> fromFile, fromServer;
        ASSERT_TRUE(local.select({}, &fromFile, &why) && remote.select({}, &fromServer, &why))
            << why;
        ASSERT_EQ(fromFile.size(), 2u);
        ASSERT_EQ(fromServer.size(), 2u);
        const dwlcli::StoredRun &f = fromFile[0], &t = fromServer[0];
        EXPECT_EQ(std::tie(f.runId, f.station, f.port, f.cancelled, f.family, f.hasCode, f.code,
                           f.resultText, f.exitStatus, f.durationSeconds),
                  std::tie(a.runId, a.station, full.port, a.cancelled, full.result.family,
                           full.result.hasCode, full.result.code, full.result.message,
                           full.exitStatus, a.durationSeconds));
        EXPECT_EQ(std::tie(t.runId, t.startedAt, t.endedAt, t.passed, t.cancelled, t.family,
                           t.hasCode, t.code, t.durationSeconds),
                  std::tie(f.runId, f.startedAt, f.endedAt, f.passed, f.cancelled, f.family,
                           f.hasCode, f.code, f.durationSeconds));
        EXPECT_EQ(f.unitId, a.unitId);
        EXPECT_EQ(t.unitId, a.unitId);
        EXPECT_EQ(fromServer[1].unitId, "");
        EXPECT_FALSE(fromServer[1].hasCode);
        EXPECT_EQ(fromServer[1].family, -1);
        // Sent again from the second file: the server keeps each run once.
        if (file == older) continue;
        EXPECT_EQ(added, 0);
    }
    EXPECT_EQ(serverCount(server), 2);
}

// The programs tell a server from a file without libpq (dwl-gui links none): they must read
// each text as libpq does, which is asked here.
TEST(ResultsServer, AddressesAreReadAsLibpqReadsThem) {
    auto libpqReads = [](const std::string& text, std::string* shown) {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
        PQfreemem(error);
        if (options == nullptr) return false;
        std::string user, host, port, db;
        for (PQconninfoOption* o = options; o->keyword != nullptr; o++) {
            const std::string key = o->keyword, value = o->val != nullptr ? o->val : "";
            if (key == "user") user = value;
            if (key == "host" || (key == "hostaddr" && host.empty())) host = value;
            if (key == "port") port = value;
            if (key == "dbname") db = value;
        }
        PQconninfoFree(options);
        *shown = "postgresql://" + (user.empty() ? "" : user + "@") + host +
                 (port.empty() ? "" : ":" + port) + "/" + db;
        return true;
    };
    for (const char* text :
         {"host=db dbname=line", "dbname = line  host=db ", "host='line db' dbname='a \\' b'",
          "host=db\\ x dbname=l", "hostaddr=127.0.0.1 port=5433 dbname=l user=st", "line=1.sqlite",
          "host=db dbname", "host='db dbname=l", "=x", "host=", "a b=c", "results=run.sqlite",
          "sslmode=require", "postgresql://st:pw@db:5433/line?sslmode=x", "postgresql://db",
          "postgres://st%40x@db/li%20ne", "postgresql://[::1]:5433/line",
          "postgresql:///line?host=/run/pg&user=st", "postgresql://st@/line"}) {
        std::string expected;
        const bool server = libpqReads(text, &expected);
        EXPECT_EQ(dwlcli::isServerAddress(text), server) << text;
        if (server) {
            EXPECT_EQ(dwlcli::serverDisplayName(text), expected) << text;
        }
    }
}

} // namespace

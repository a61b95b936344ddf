// A unit's runs in the records: the known database's report, unit counts and unit histories
// from the file and from the server alike, a file of the first version read and migrated with
// its runs, and a unit kept through the journal.
#include "app/results/results_html.h"
#include "app/results/results_journal.h"
#include "app/results/results_report.h"
#include "app/results/results_server.h"
#include "app/results/unit_counts.h"
#include "app/results/unit_history.h"
#include "tests/app/cli/dwl_program.h"
#include "tests/app/results/known_runs.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

namespace {

using dwlcli::RunFilter;
using dwlcli::StoredRun;

std::vector<StoredRun> readFile(const std::string& file, const RunFilter& filter = {}) {
    dwlcli::ResultsDb db;
    std::string why;
    std::vector<StoredRun> runs;
    EXPECT_TRUE(db.openForReading(file, &why) && db.select(filter, &runs, &why)) << why;
    return runs;
}

RunFilter unitFilter(const std::string& unit) {
    RunFilter f;
    f.unit = unit;
    return f;
}

std::string sqliteValue(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value;
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0) != nullptr)
            value = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return value;
}

void expectKnownCounts(const dwlcli::UnitCounts& u) {
    EXPECT_EQ(u.units, knownruns::kUnits);
    EXPECT_EQ(u.firstPass, knownruns::kFirstPass);
    EXPECT_EQ(u.finalPass, knownruns::kFinalPass);
    EXPECT_EQ(u.flashedAgain, knownruns::kFlashedAgain);
    EXPECT_EQ(u.runsWithoutUnit, knownruns::kRunsWithoutUnit);
}

// The page dwl results --html wrote.
std::string pageOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The known database through dwl results: the runs' and the units' numbers, and a unit's runs in
// the order they started (written out of order, on two stations), each with its images.
TEST(UnitRecords, KnownDatabaseGivesItsRunAndUnitNumbersAndHistories) {
    testsupport::TempDir dir;
    const std::string file = dir.file("known.sqlite");
    std::string why;
    ASSERT_TRUE(knownruns::write(file, &why)) << why;
    expectKnownCounts(dwlcli::countUnits(readFile(file)));

    const clitest::Run report = clitest::runDwl("results --db " + clitest::quoted(file));
    EXPECT_EQ(report.status, 0) << report.err;
    for (const std::string& line :
         {std::string("12 runs, ") + knownruns::kFirstStart + " to " + knownruns::kLastEnd,
          std::string("total                          12      5      5         2   50.0 %"),
          std::string("      3  The mobile does not answer (family 6, code 4)"),
          std::string("      2  Bad command acknowledge (family 8, code 3)"),
          std::string("median 14.5 s, 95th percentile 40.0 s"),
          std::string("units (cancelled runs left out): 5, runs that named none: 2"),
          std::string("  first-pass yield  60.0 %  (3 passed on their first run)"),
          std::string("  final yield       60.0 %  (3 passed on their last run)"),
          std::string("  flashed more than once: 3")})
        EXPECT_TRUE(report.has(line)) << line << "\n" << report.out;

    const clitest::Run u2 =
        clitest::runDwl("results --db " + clitest::quoted(file) + " --unit U-002");
    EXPECT_EQ(u2.status, 0) << u2.err;
    EXPECT_EQ(u2.out, "unit U-002 in " + file +
                          ": 2 runs\n"
                          "  1. 2027-01-15T08:10:00.000Z  line-1 COM2  FAIL  10.0 s  The mobile "
                          "does not answer (family 6, code 4)\n"
                          "       run 00000007-0000-4000-8000-000000000000\n"
                          "       binary /images/sw-1.0.bin  byte sum 1234567\n"
                          "  2. 2027-01-15T08:50:00.000Z  line-2 COM1  PASS  14.0 s  Download "
                          "successful\n"
                          "       run 0000000b-0000-4000-8000-000000000000\n"
                          "       binary /images/sw-1.1.bin  byte sum 2345678\n"
                          "       ogm /images/lang-2.ogm  byte sum 99999\n");
    // A cancelled run is in the unit's history, marked so.
    const clitest::Run u5 =
        clitest::runDwl("results --db " + clitest::quoted(file) + " --unit U-005");
    EXPECT_TRUE(u5.has("  1. 2027-01-15T09:20:00.000Z  line-2 COM1  CANCELLED")) << u5.out;
    EXPECT_TRUE(u5.has("  2. 2027-01-15T09:50:00.000Z  line-2 COM1  PASS")) << u5.out;
    const clitest::Run none =
        clitest::runDwl("results --db " + clitest::quoted(file) + " --unit U-999");
    EXPECT_EQ(none.out, "unit U-999 in " + file + ": no run\n");
    EXPECT_EQ(none.status, 0);

    // The page: the text report's figures, the units' and each hour's yield.
    const std::string& db = file;
    const std::string html = dir.file("known.html");
    const clitest::Run& text = report;
    const clitest::Run made =
        clitest::runDwl("results --db " + clitest::quoted(db) + " --html " + clitest::quoted(html));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "");
    const std::string page = pageOf(html);
    // The figures the text report gives, each as the page shows it.
    // "median A s, 95th percentile B s" and on the next line "handsets per hour: C".
    const auto after = [&](const std::string& label, const std::string& end) {
        const size_t at = text.out.find(label);
        if (at == std::string::npos) return std::string();
        const size_t from = at + label.size();
        return text.out.substr(from, text.out.find(end, from) - from);
    };
    const std::string m[] = {"", after("median ", ","), after("95th percentile ", "\n"),
                             after("handsets per hour: ", "\n")};
    ASSERT_FALSE(m[3].empty()) << text.out;
    EXPECT_EQ(m[1], "14.5 s");
    EXPECT_EQ(m[2], "40.0 s");
    const std::string tiles[][2] = {
        {"runs", std::to_string(knownruns::kRuns)},
        {"pass", std::to_string(knownruns::kPass)},
        {"fail", std::to_string(knownruns::kFail)},
        {"cancelled", std::to_string(knownruns::kCancelled)},
        {"yield", "50.0 %"},
        {"median run time", m[1]},
        {"95th percentile", m[2]},
        {"handsets per hour", m[3]},
        {"units", std::to_string(knownruns::kUnits)},
        {"first-pass yield", "60.0 %<small> (3)</small>"},
        {"final yield", "60.0 %<small> (3)</small>"},
        {"flashed more than once", std::to_string(knownruns::kFlashedAgain)},
        {"runs that named none", std::to_string(knownruns::kRunsWithoutUnit)},
    };
    for (const auto& [name, value] : tiles)
        EXPECT_NE(page.find("<dt>" + name + "</dt><dd>" + value + "</dd>"), std::string::npos)
            << name << ": " << value;
    for (const char* line :
         {"first-pass yield  60.0 %  (3 passed", "final yield       60.0 %  (3 passed"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
    for (const char* html : {
             "12 runs, 2027-01-15T08:00:00.000Z to 2027-01-15T09:50:40.000Z</p>",
             // The text's table, row by row.
             "<td>line-1</td><td>8</td><td>2</td><td>5</td><td>1</td><td>28.6 %</td>",
             "<td>COM1</td><td>4</td><td>2</td><td>2</td><td>0</td><td>50.0 %</td>",
             "<td>COM2</td><td>4</td><td>0</td><td>3</td><td>1</td><td>0.0 %</td>",
             "<td>line-2</td><td>4</td><td>3</td><td>0</td><td>1</td><td>100.0 %</td>",
             "<td>total</td><td>12</td><td>5</td><td>5</td><td>2</td><td>50.0 %</td>",
             "<td>1</td><td>The mobile does not answer (family 6, code 4)</td><td>3</td>"
             "<td>60.0 %</td>",
             "<td>2</td><td>Bad command acknowledge (family 8, code 3)</td><td>2</td>"
             "<td>100.0 %</td>",
             // 08:00 to 08:50: three passes of five; 09:00 to 09:50: two of five.
             "<title>2027-01-15 08:00 UTC: 60.0 % of 5 runs</title>",
             "<title>2027-01-15 09:00 UTC: 40.0 % of 5 runs</title>",
         })
        EXPECT_NE(page.find(html), std::string::npos) << html;
    for (const char* line : {
             "station line-1                  8      2      5         1   28.6 %\n",
             "total                          12      5      5         2   50.0 %\n",
             "      3  The mobile does not answer (family 6, code 4)\n",
         })
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;

    // The same filter as the text report's.
    const clitest::Run line2 = clitest::runDwl(
        "results --db " + clitest::quoted(db) +
        " --station line-2 --since 2027-01-15T08:25Z --html " + clitest::quoted(html));
    ASSERT_EQ(line2.status, 0) << line2.err;
    const std::string filtered = pageOf(html);
    EXPECT_NE(filtered.find("3 runs started since 2027-01-15T08:25:00.000Z on station line-2, "),
              std::string::npos);
    EXPECT_NE(filtered.find("<td>total</td><td>3</td><td>2</td><td>0</td><td>1</td>"),
              std::string::npos);
    EXPECT_NE(filtered.find("No failures."), std::string::npos);
    // A page that cannot be written says so, and leaves no part behind.
    const clitest::Run lost = clitest::runDwl("results --db " + clitest::quoted(db) + " --html " +
                                              clitest::quoted(dir.file("no/such/folder.html")));
    EXPECT_EQ(lost.status, 74);
    EXPECT_TRUE(lost.has("dwl: the report could not be written: cannot create ")) << lost.err;
}

// How units count: first and last by start whatever the order given, cancelled runs and runs
// without a unit are no unit's tries.
TEST(UnitRecords, UnitCountsGoByStartAndLeaveCancelledRunsOut) {
    const auto run = [](const char* unit, const char* at, bool passed, bool cancelled = false) {
        StoredRun r;
        r.unitId = unit;
        r.startedAt = at;
        r.runId = at;
        r.passed = passed;
        r.cancelled = cancelled;
        return r;
    };
    const struct {
        const char* what;
        std::vector<StoredRun> runs;
        int units, firstPass, finalPass, again, withoutUnit;
    } cases[] = {
        {"nothing", {}, 0, 0, 0, 0, 0},
        {"no unit named", {run("", "1", true), run("", "2", false)}, 0, 0, 0, 0, 2},
        {"failed, then passed, given backwards",
         {run("A", "2", true), run("A", "1", false)},
         1,
         0,
         1,
         1,
         0},
        {"passed, then failed", {run("A", "1", true), run("A", "2", false)}, 1, 1, 0, 1, 0},
        {"a cancelled first run is no try",
         {run("A", "1", false, true), run("A", "2", true)},
         1,
         1,
         1,
         0,
         0},
        {"only cancelled", {run("A", "1", false, true)}, 0, 0, 0, 0, 0},
        {"two units",
         {run("A", "1", true), run("B", "2", false), run("B", "3", false)},
         2,
         1,
         1,
         1,
         0},
    };
    for (const auto& c : cases) {
        const dwlcli::UnitCounts u = dwlcli::countUnits(c.runs);
        EXPECT_EQ(std::tie(u.units, u.firstPass, u.finalPass, u.flashedAgain, u.runsWithoutUnit),
                  std::tie(c.units, c.firstPass, c.finalPass, c.again, c.withoutUnit))
            << c.what;
    }
    EXPECT_EQ(dwlcli::unitPercent(3, {}), -1.0);
}

// The same runs read from the line's server give the same units and histories.
TEST(UnitRecords, TheServerGivesTheSameUnitsAsTheFile) {
    testsupport::PostgresServer server;
    if (server.missing()) GTEST_SKIP() << server.problem();
    ASSERT_EQ(server.problem(), "");
    testsupport::TempDir dir;
    const std::string file = dir.file("known.sqlite");
    std::string why;
    ASSERT_TRUE(knownruns::write(file, &why)) << why;
    dwlcli::ResultsDb local;
    dwlcli::UnsentRuns batch;
    dwlcli::ResultsServer remote;
    int added = 0;
    ASSERT_TRUE(local.openForWriting(file, &why) && local.selectUnsent(100, &batch, &why) &&
                remote.open(server.address(), &why) && remote.store(batch, &added, &why))
        << why;
    std::vector<StoredRun> all;
    ASSERT_TRUE(remote.select({}, &all, &why)) << why;
    expectKnownCounts(dwlcli::countUnits(all));
    for (const char* unit : {"U-002", "U-003", "U-005"}) {
        std::vector<StoredRun> runs;
        ASSERT_TRUE(remote.select(unitFilter(unit), &runs, &why)) << why;
        EXPECT_EQ(dwlcli::unitHistory("x", unit, runs),
                  dwlcli::unitHistory("x", unit, readFile(file, unitFilter(unit))));
    }
    // The report's page is the same from either.
    EXPECT_EQ(dwlcli::resultsHtml("x", {}, dwlcli::reportFigures(all)),
              dwlcli::resultsHtml("x", {}, dwlcli::reportFigures(readFile(file))));
}

// A file of the first version is read as it is (its runs name no unit) and brought to this
// version, with its runs, by the first program that records in it.
TEST(UnitRecords, AFileOfTheFirstVersionIsReadAndMigratedWithItsRuns) {
    testsupport::TempDir dir;
    const std::string file = dir.file("v1.sqlite");
    ASSERT_TRUE(knownruns::createVersionOneFile(file));
    ASSERT_EQ(sqliteValue(file, "INSERT INTO runs (run_id, started_at, ended_at, station, port, "
                                "device, bin_image, bin_sum, result_text, exit_status, passed, "
                                "duration_s, bytes, resent_sectors, cancelled, result_json) "
                                "VALUES ('old-1', '2026-01-01T08:00:00.000Z', "
                                "'2026-01-01T08:00:12.000Z', 'bench', 'COM1', '/dev/ttyS0', "
                                "'/a.bin', 77, 'Download successful', 0, 1, 12, 65536, 0, 0, "
                                "'{}') RETURNING run_id"),
              "old-1");
    std::vector<StoredRun> runs = readFile(file);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].unitId, "");
    EXPECT_EQ(runs[0].imagePath[0], "/a.bin");
    EXPECT_TRUE(readFile(file, unitFilter("U-1")).empty());
    std::string why;
    {
        dwlcli::ResultsDb db;
        std::vector<std::vector<std::string>> table;
        ASSERT_TRUE(db.openForReading(file, &why) && db.selectAll({}, &table, &why)) << why;
        EXPECT_EQ(table[0][dwlcli::kRunColumns - 1], "unit_id");
        EXPECT_EQ(table[0][dwlcli::kRunColumns], "sent_at");
    }
    EXPECT_EQ(sqliteValue(file, "PRAGMA user_version"), "1");

    dwlcli::RunReport r;
    r.port = "COM1";
    r.result.message = "Download successful";
    dwlcli::RunRecord unit = dwlcli::makeRunRecord(r, 1.8e9, 1.8e9 + 9, 9, "bench");
    unit.unitId = "U-1";
    {
        dwlcli::ResultsDb db;
        ASSERT_TRUE(db.openForWriting(file, &why) && db.insert(unit, &why)) << why;
    }
    EXPECT_EQ(sqliteValue(file, "PRAGMA user_version"), "2");
    EXPECT_EQ(sqliteValue(file, "SELECT count(*) FROM runs"), "2");
    EXPECT_EQ(sqliteValue(file, "SELECT bin_sum FROM runs WHERE run_id = 'old-1'"), "77");
    runs = readFile(file, unitFilter("U-1"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].runId, unit.runId);
    // A new file and a migrated one hold the same columns in the same order.
    const std::string fresh = dir.file("new.sqlite");
    {
        dwlcli::ResultsDb db;
        ASSERT_TRUE(db.openForWriting(fresh, &why)) << why;
    }
    const std::string columns = "SELECT group_concat(name) FROM pragma_table_info('runs')";
    EXPECT_EQ(sqliteValue(fresh, columns), sqliteValue(file, columns));
    EXPECT_NE(sqliteValue(fresh, "SELECT sql FROM sqlite_master WHERE name = 'runs_by_unit'"), "");
}

// A run the file refuses waits in the journal with its unit, and reaches the file with it.
TEST(UnitRecords, ARunWaitingInTheJournalKeepsItsUnit) {
    testsupport::TempDir dir;
    const std::string file = dir.file("r.sqlite");
    std::string why;
    dwlcli::ResultsDb db;
    ASSERT_TRUE(db.openForWriting(file, &why, 50)) << why;
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    dwlcli::RunReport r;
    r.port = "COM2";
    r.result.message = "Download successful";
    dwlcli::RunRecord run = dwlcli::makeRunRecord(r, 1.8e9, 1.8e9 + 9, 9, "bench");
    run.unitId = "SN 0042";
    bool open = true;
    const dwlcli::RecordOutcome held = dwlcli::recordRun(&db, &open, file, run);
    EXPECT_FALSE(held.recorded);
    EXPECT_TRUE(held.journaled) << held.why;
    const std::vector<uint8_t> journal = testsupport::readBytes(dwlcli::journalPath(file));
    EXPECT_NE(std::string(journal.begin(), journal.end()).find("\"unit_id\":\"SN 0042\""),
              std::string::npos);
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    long long waiting = -1;
    ASSERT_TRUE(dwlcli::journalReplay(file, &db, &waiting, &why)) << why;
    const std::vector<StoredRun> runs = readFile(file, unitFilter("SN 0042"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].runId, run.runId);
}

} // namespace

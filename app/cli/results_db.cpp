#include "app/cli/results_db.h"

#include "app/cli/json_text.h"
#include "app/cli/option_values.h"

#include <sqlite3.h>

namespace dwlcli {

namespace {

// Writers wait this long for one another (milliseconds); a row is small, so the wait is short.
constexpr int kBusyTimeoutMs = 15000;

const char kCreateSchema[] = R"(
CREATE TABLE runs (
    run_id TEXT PRIMARY KEY NOT NULL,
    started_at TEXT NOT NULL,
    ended_at TEXT NOT NULL,
    station TEXT NOT NULL,
    port TEXT NOT NULL,
    device TEXT NOT NULL,
    mode INTEGER,
    mode_name TEXT,
    speed INTEGER,
    bin_image TEXT, bin_size INTEGER, bin_sum INTEGER,
    ogm_image TEXT, ogm_size INTEGER, ogm_sum INTEGER,
    tfs_image TEXT, tfs_size INTEGER, tfs_sum INTEGER,
    chip_manufacturer INTEGER,
    chip_device INTEGER,
    chip_name TEXT,
    result_family INTEGER,
    result_code INTEGER,
    result_text TEXT NOT NULL,
    exit_status INTEGER NOT NULL,
    passed INTEGER NOT NULL,
    duration_s REAL NOT NULL,
    bytes INTEGER NOT NULL,
    resent_sectors INTEGER NOT NULL,
    cancelled INTEGER NOT NULL,
    trace_file TEXT,
    result_json TEXT NOT NULL,
    sent_at TEXT
);
CREATE INDEX runs_by_start ON runs(started_at);
CREATE INDEX runs_unsent ON runs(started_at) WHERE sent_at IS NULL;
PRAGMA user_version = 1;
)";

const char kInsert[] = R"(
INSERT INTO runs (run_id, started_at, ended_at, station, port, device, mode, mode_name, speed,
    bin_image, bin_size, bin_sum, ogm_image, ogm_size, ogm_sum, tfs_image, tfs_size, tfs_sum,
    chip_manufacturer, chip_device, chip_name, result_family, result_code, result_text,
    exit_status, passed, duration_s, bytes, resent_sectors, cancelled, trace_file, result_json)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19,
    ?20, ?21, ?22, ?23, ?24, ?25, ?26, ?27, ?28, ?29, ?30, ?31, ?32)
)";

const char kFilter[] = " WHERE (?1 = '' OR started_at >= ?1) AND (?2 = '' OR port = ?2) AND "
                       "(?3 = '' OR station = ?3) ORDER BY started_at, run_id";

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void text(int index, const std::string& value) {
        sqlite3_bind_text(stmt_, index, value.c_str(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    }
    // An empty text is NULL.
    void textOrNull(int index, const std::string& value) {
        if (value.empty())
            sqlite3_bind_null(stmt_, index);
        else
            text(index, value);
    }
    void integer(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
    void real(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
    void null(int index) { sqlite3_bind_null(stmt_, index); }
    void filter(const RunFilter& f) {
        text(1, f.since);
        text(2, f.port);
        text(3, f.station);
    }
    std::string column(int i) const {
        const unsigned char* t = sqlite3_column_text(stmt_, i);
        return t != nullptr ? reinterpret_cast<const char*>(t) : "";
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

const ImageReport* imageOf(const RunReport& r, const char* kind) {
    for (const ImageReport& im : r.images)
        if (im.kind == kind) return &im;
    return nullptr;
}

} // namespace

ResultsDb::~ResultsDb() {
    sqlite3_close(db_);
}

std::string ResultsDb::error() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
}

bool ResultsDb::exec(const char* sql, std::string* why) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    *why = message != nullptr ? message : error();
    sqlite3_free(message);
    return false;
}

bool ResultsDb::checkVersion(bool create, std::string* why) {
    // Inside one write transaction when creating: two processes that start at once make the
    // schema once.
    if (create && !exec("BEGIN IMMEDIATE", why)) return false;
    int version = -1;
    {
        Statement s(db_, "PRAGMA user_version");
        if (s.ok() && sqlite3_step(s.get()) == SQLITE_ROW) version = sqlite3_column_int(s.get(), 0);
    }
    bool ok = true;
    if (version < 0) {
        *why = error();
        ok = false;
    } else if (version == 0 && create) {
        ok = exec(kCreateSchema, why);
    } else if (version == 0) {
        *why = "it holds no runs table";
        ok = false;
    } else if (version > kResultsSchemaVersion) {
        *why = "its schema version " + std::to_string(version) + " is newer than this program's (" +
               std::to_string(kResultsSchemaVersion) + ")";
        ok = false;
    }
    if (!create) return ok;
    std::string ignored;
    return ok ? exec("COMMIT", why) : (exec("ROLLBACK", &ignored), false);
}

bool ResultsDb::openForWriting(const std::string& path, std::string* why) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        *why = error();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // WAL: readers never block the writers. FULL: a row that was committed survives a power
    // cut, not only a killed process.
    return exec("PRAGMA journal_mode=WAL", why) && exec("PRAGMA synchronous=FULL", why) &&
           checkVersion(true, why);
}

bool ResultsDb::openForReading(const std::string& path, std::string* why) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        *why = error();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return checkVersion(false, why);
}

bool ResultsDb::insert(const RunRecord& run, std::string* why) {
    Statement s(db_, kInsert);
    if (!s.ok()) {
        *why = error();
        return false;
    }
    const RunReport& r = run.report;
    s.text(1, run.runId);
    s.text(2, run.startedAt);
    s.text(3, run.endedAt);
    s.text(4, run.station);
    s.text(5, r.port);
    s.text(6, r.device);
    if (r.mode >= 0) {
        s.integer(7, r.mode);
        s.text(8, modeName(r.mode));
    } else {
        s.null(7);
        s.null(8);
    }
    if (r.baud > 0)
        s.integer(9, r.baud);
    else
        s.null(9);
    int column = 10;
    for (const char* kind : {"binary", "ogm", "tfs"}) {
        if (const ImageReport* im = imageOf(r, kind)) {
            s.text(column, im->path);
            s.integer(column + 1, im->size);
            s.integer(column + 2, im->byteSum);
        } else {
            for (int k = 0; k < 3; k++)
                s.null(column + k);
        }
        column += 3;
    }
    if (r.flashIdentified) {
        s.integer(19, r.manufacturerId);
        s.integer(20, r.deviceId);
        s.text(21, r.manufacturerName + " " + r.deviceName);
    } else {
        s.null(19);
        s.null(20);
        s.null(21);
    }
    if (r.result.family >= 0)
        s.integer(22, r.result.family);
    else
        s.null(22);
    if (r.result.hasCode)
        s.integer(23, r.result.code);
    else
        s.null(23);
    s.text(24, r.result.message);
    s.integer(25, r.exitStatus);
    s.integer(26, runPassed(run) ? 1 : 0);
    s.real(27, run.durationSeconds);
    s.integer(28, static_cast<long long>(r.bytesWritten));
    s.integer(29, resentSectorCount(r));
    s.integer(30, run.cancelled ? 1 : 0);
    s.textOrNull(31, run.traceFile);
    s.text(32, jsonText(jsonReport(r)));
    // One statement, one transaction: the row is there whole or not at all.
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::select(const RunFilter& filter, std::vector<StoredRun>* runs, std::string* why) {
    Statement s(db_, std::string("SELECT run_id, started_at, ended_at, station, port, device, "
                                 "passed, cancelled, result_family, result_code, result_text, "
                                 "exit_status, duration_s FROM runs") +
                         kFilter);
    if (!s.ok()) {
        *why = error();
        return false;
    }
    s.filter(filter);
    int rc = 0;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        StoredRun r;
        r.runId = s.column(0);
        r.startedAt = s.column(1);
        r.endedAt = s.column(2);
        r.station = s.column(3);
        r.port = s.column(4);
        r.device = s.column(5);
        r.passed = sqlite3_column_int(s.get(), 6) != 0;
        r.cancelled = sqlite3_column_int(s.get(), 7) != 0;
        if (sqlite3_column_type(s.get(), 8) != SQLITE_NULL)
            r.family = sqlite3_column_int(s.get(), 8);
        r.hasCode = sqlite3_column_type(s.get(), 9) != SQLITE_NULL;
        if (r.hasCode) r.code = sqlite3_column_int(s.get(), 9);
        r.resultText = s.column(10);
        r.exitStatus = sqlite3_column_int(s.get(), 11);
        r.durationSeconds = sqlite3_column_double(s.get(), 12);
        runs->push_back(r);
    }
    if (rc != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                          std::string* why) {
    Statement s(db_, std::string("SELECT * FROM runs") + kFilter);
    if (!s.ok()) {
        *why = error();
        return false;
    }
    s.filter(filter);
    const int columns = sqlite3_column_count(s.get());
    std::vector<std::string> names;
    for (int i = 0; i < columns; i++)
        names.push_back(sqlite3_column_name(s.get(), i));
    table->push_back(names);
    int rc = 0;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < columns; i++)
            row.push_back(s.column(i));
        table->push_back(row);
    }
    if (rc != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::selectUnsent(int limit, UnsentRuns* out, std::string* why) {
    Statement s(db_,
                "SELECT * FROM runs WHERE sent_at IS NULL ORDER BY started_at, run_id LIMIT ?1");
    if (!s.ok()) {
        *why = error();
        return false;
    }
    s.integer(1, limit);
    const int columns = sqlite3_column_count(s.get());
    std::vector<int> kept;
    out->columns.clear();
    out->rows.clear();
    for (int i = 0; i < columns; i++) {
        const std::string name = sqlite3_column_name(s.get(), i);
        if (name == "sent_at") continue;
        out->columns.push_back(name);
        kept.push_back(i);
    }
    int rc = 0;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        std::vector<StoredValue> row;
        for (int i : kept)
            row.push_back({sqlite3_column_type(s.get(), i) == SQLITE_NULL, s.column(i)});
        out->rows.push_back(row);
    }
    if (rc != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::markSent(const std::vector<std::string>& runIds, const std::string& sentAt,
                         std::string* why) {
    if (!exec("BEGIN IMMEDIATE", why)) return false;
    bool ok = true;
    {
        Statement s(db_, "UPDATE runs SET sent_at = ?1 WHERE run_id = ?2");
        ok = s.ok();
        if (!ok) *why = error();
        for (size_t i = 0; ok && i < runIds.size(); i++) {
            s.text(1, sentAt);
            s.text(2, runIds[i]);
            ok = sqlite3_step(s.get()) == SQLITE_DONE;
            if (!ok) *why = error();
            sqlite3_reset(s.get());
        }
    }
    std::string ignored;
    return ok ? exec("COMMIT", why) : (exec("ROLLBACK", &ignored), false);
}

bool ResultsDb::countUnsent(long long* count, std::string* why) {
    Statement s(db_, "SELECT count(*) FROM runs WHERE sent_at IS NULL");
    if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
        *why = error();
        return false;
    }
    *count = sqlite3_column_int64(s.get(), 0);
    return true;
}

} // namespace dwlcli

#include "app/results/results_db.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace dwlcli {

namespace {

// The step that takes the file from schema version v to v + 1. A new file goes through them
// all, so that its columns stand in the same order as a migrated file's.
std::string schemaStep(int version) {
    if (version == 0)
        return "CREATE TABLE runs (\n    " + runColumnsDdl(DIALECT_FILE) +
               ",\n    sent_at TEXT\n);\n"
               "CREATE INDEX runs_by_start ON runs(started_at);\n"
               "CREATE INDEX runs_unsent ON runs(started_at) WHERE sent_at IS NULL;\n";
    // 2: the unit a run flashed (unit_id).
    return runColumnsAdded(DIALECT_FILE, version + 1) +
           "CREATE INDEX runs_by_unit ON runs(unit_id, started_at) WHERE unit_id IS NOT NULL;\n";
}

// The filter; a unit's runs only from version 2 on (an older file names none).
std::string filterSql(int version) {
    return std::string(" WHERE (?1 = '' OR started_at >= ?1) AND (?2 = '' OR port = ?2) AND "
                       "(?3 = '' OR station = ?3) AND ") +
           (version >= 2 ? "(?4 = '' OR unit_id = ?4)" : "?4 = ''") +
           " ORDER BY started_at, run_id";
}

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
    void integer(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
    void real(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
    void null(int index) { sqlite3_bind_null(stmt_, index); }
    void filter(const RunFilter& f) {
        text(1, f.since);
        text(2, f.port);
        text(3, f.station);
        text(4, f.unit);
    }
    std::string column(int i) const {
        const unsigned char* t = sqlite3_column_text(stmt_, i);
        return t != nullptr ? reinterpret_cast<const char*>(t) : "";
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace

ResultsDb::~ResultsDb() {
    close();
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
    } else if (version < kResultsSchemaVersion && create) {
        // Made, or brought to this version in the same transaction: a file is never left
        // half migrated.
        while (ok && version < kResultsSchemaVersion) {
            ok = exec(schemaStep(version).c_str(), why);
            if (!ok) *why += " (making the table version " + std::to_string(version + 1) + ")";
            if (ok) version++;
        }
        ok = ok && exec(("PRAGMA user_version = " + std::to_string(version)).c_str(), why);
    } else if (version == 0) {
        *why = "it holds no runs table";
        ok = false;
    } else if (version > kResultsSchemaVersion) {
        *why = "its schema version " + std::to_string(version) + " is newer than this program's (" +
               std::to_string(kResultsSchemaVersion) + ")";
        ok = false;
    }
    version_ = version;
    if (!create) return ok;
    std::string ignored;
    return ok ? exec("COMMIT", why) : (exec("ROLLBACK", &ignored), false);
}

bool ResultsDb::openForWriting(const std::string& path, std::string* why, int busyTimeoutMs) {
    close();
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        *why = error();
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    // WAL: readers never block the writers. FULL: a row that was committed survives a power
    // cut, not only a killed process.
    if (exec("PRAGMA journal_mode=WAL", why) && exec("PRAGMA synchronous=FULL", why) &&
        checkVersion(true, why))
        return true;
    close();
    return false;
}

void ResultsDb::close() {
    sqlite3_close(db_);
    db_ = nullptr;
}

bool ResultsDb::openForReading(const std::string& path, std::string* why) {
    close();
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db_, kDefaultBusyTimeoutMs);
        if (checkVersion(false, why)) return true;
    } else {
        *why = error();
    }
    // A file in WAL mode whose -shm file is missing and cannot be made (a read-only mount, a
    // copy without its WAL files): read as it is. Nobody can be writing through such a mount.
    if (sqlite3_extended_errcode(db_) != SQLITE_CANTOPEN &&
        sqlite3_errcode(db_) != SQLITE_READONLY) {
        close();
        return false;
    }
    close();
    std::string uri = "file:";
    for (unsigned char c : path) {
        char escaped[4];
        snprintf(escaped, sizeof escaped, "%%%02X", c);
        uri += c == '%' || c == '?' || c == '#' ? std::string(escaped) : std::string(1, char(c));
    }
    if (sqlite3_open_v2((uri + "?immutable=1").c_str(), &db_,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        *why = error();
        close();
        return false;
    }
    if (checkVersion(false, why)) return true;
    close();
    return false;
}

bool ResultsDb::insert(const RunRecord& run, std::string* why) {
    return insertValues(runColumnValues(run), false, why);
}

bool ResultsDb::insertValues(const std::vector<StoredValue>& values, bool keepExisting,
                             std::string* why) {
    std::string sql = std::string("INSERT ") + (keepExisting ? "OR IGNORE " : "") + "INTO runs (" +
                      runColumnNames() + ") VALUES (";
    for (int i = 0; i < kRunColumns; i++)
        sql += (i > 0 ? ", ?" : "?") + std::to_string(i + 1);
    Statement s(db_, sql + ")");
    if (!s.ok()) {
        *why = error();
        return false;
    }
    for (int i = 0; i < kRunColumns; i++) {
        const StoredValue none;
        const StoredValue& v = i < static_cast<int>(values.size()) ? values[i] : none;
        const RunColumnKind kind = a_RunColumns[i].kind;
        if (v.isNull)
            s.null(i + 1);
        else if (kind == COLUMN_INTEGER || kind == COLUMN_FLAG)
            s.integer(i + 1, strtoll(v.text.c_str(), nullptr, 10));
        else if (kind == COLUMN_REAL)
            s.real(i + 1, strtod(v.text.c_str(), nullptr));
        else
            s.text(i + 1, v.text);
    }
    // One statement, one transaction: the row is there whole or not at all.
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::insertAll(const std::vector<std::vector<StoredValue>>& rows, std::string* why) {
    if (!exec("BEGIN IMMEDIATE", why)) return false;
    bool ok = true;
    for (size_t i = 0; ok && i < rows.size(); i++)
        ok = insertValues(rows[i], true, why);
    std::string ignored;
    return ok ? exec("COMMIT", why) : (exec("ROLLBACK", &ignored), false);
}

bool ResultsDb::checkPages(std::string* why) {
    Statement s(db_, "PRAGMA quick_check");
    if (!s.ok()) {
        *why = error();
        return false;
    }
    std::string found;
    int rc = 0;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        const std::string line = s.column(0);
        if (line == "ok") continue;
        if (!found.empty()) found += "; ";
        found += line;
    }
    if (rc != SQLITE_DONE && found.empty()) found = error();
    if (found.empty()) return true;
    for (char& c : found)
        if (c == '\n') c = ' ';
    if (found.size() > 300) found = found.substr(0, 300) + "...";
    *why = "its pages are damaged (" + found + ")";
    return false;
}

bool ResultsDb::select(const RunFilter& filter, std::vector<StoredRun>* runs, std::string* why) {
    Statement s(db_, "SELECT " + runColumnsSelected(DIALECT_FILE, true, version_) + " FROM runs" +
                         filterSql(version_));
    if (!s.ok()) {
        *why = error();
        return false;
    }
    s.filter(filter);
    const int columns = sqlite3_column_count(s.get());
    int rc = 0;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        std::vector<std::string> texts;
        for (int i = 0; i < columns; i++)
            texts.push_back(s.column(i));
        runs->push_back(storedRunOf(texts));
    }
    if (rc != SQLITE_DONE) {
        *why = error();
        return false;
    }
    return true;
}

bool ResultsDb::selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                          std::string* why) {
    // The columns in one order whatever the file's version: a file of an older version gives
    // the newer columns empty.
    Statement s(db_, "SELECT " + runColumnsSelected(DIALECT_FILE, false, version_) +
                         ", sent_at FROM runs" + filterSql(version_));
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

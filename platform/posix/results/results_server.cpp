#include "app/results/results_server.h"

#include "app/results/server_error_line.h"
#include "app/run/json_text.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace dwlcli {

namespace {

// Held by whoever makes or migrates the tables, so that two stations starting at once on an
// empty database make them once. The number only has to differ from other programs' locks.
const char kSchemaLock[] = "SELECT pg_advisory_lock(5087000001)";
const char kSchemaUnlock[] = "SELECT pg_advisory_unlock(5087000001)";

// How long one statement may take on the server, and how long it may wait for a lock
// (milliseconds): a table another program locked, or a server that stalls, costs a station's
// sender a few seconds and a line in its events, never its stop.
constexpr int kStatementTimeoutMs = 4000;
constexpr int kLockTimeoutMs = 2000;

// The step that takes the tables from version v to v + 1.
std::string schemaStep(int version) {
    if (version == 0)
        return "CREATE TABLE schema_version (\n"
               "    version integer PRIMARY KEY,\n"
               "    applied_at timestamptz NOT NULL DEFAULT now()\n"
               ");\n"
               "CREATE TABLE runs (\n    " +
               runColumnsDdl(DIALECT_SERVER) +
               "\n);\n"
               "CREATE INDEX runs_by_start ON runs (started_at);\n"
               "CREATE INDEX runs_by_station_port ON runs (station, port, started_at);\n";
    return "ALTER TABLE runs ALTER COLUMN result_json TYPE jsonb USING result_json::jsonb;\n"
           "ALTER TABLE runs ADD COLUMN received_at timestamptz;\n"
           "ALTER TABLE runs ALTER COLUMN received_at SET DEFAULT now();\n";
}

const char kFilter[] = " FROM runs WHERE ($1 = '' OR started_at >= NULLIF($1, '')::timestamptz)"
                       " AND ($2 = '' OR port = $2) AND ($3 = '' OR station = $3)"
                       " ORDER BY started_at, run_id";

// A result that clears itself.
class Result {
  public:
    explicit Result(PGresult* r) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    PGresult* get() const { return r_; }
    bool ok() const {
        const ExecStatusType s = PQresultStatus(r_);
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    std::string text(int row, int column) const { return PQgetvalue(r_, row, column); }
    int integer(int row, int column) const { return atoi(PQgetvalue(r_, row, column)); }

  private:
    PGresult* r_;
};

// Text the server takes: bytes that are not UTF-8 (a Latin-1 file name) become U+FFFD.
std::string utf8(const std::string& text) {
    return nlohmann::ordered_json::parse(jsonText(text)).get<std::string>();
}

// jsonb refuses the NUL character that JSON text may escape.
std::string jsonbText(std::string json) {
    for (size_t at = 0; (at = json.find("\\u0000", at)) != std::string::npos; at += 6)
        json.replace(at, 6, "\\ufffd");
    return json;
}

} // namespace

ResultsServer::~ResultsServer() {
    close();
}

void ResultsServer::close() {
    PQfinish(conn_);
    conn_ = nullptr;
}

std::string ResultsServer::failure() {
    if (conn_ == nullptr) return "results server: not connected";
    const std::string line = statementErrorLine(PQerrorMessage(conn_));
    // A connection the server dropped is of no more use: the next attempt connects anew.
    if (PQstatus(conn_) != CONNECTION_OK) close();
    return line;
}

bool ResultsServer::exec(const char* sql, std::string* why) {
    if (conn_ == nullptr) {
        *why = failure();
        return false;
    }
    const Result r(PQexec(conn_, sql));
    if (r.ok()) return true;
    *why = failure();
    return false;
}

bool ResultsServer::open(const std::string& address, std::string* why) {
    return open(address, kServerSchemaVersion, why);
}

bool ResultsServer::open(const std::string& address, int version, std::string* why) {
    close();
    // Defaults first: what the address itself names wins. A host that does not answer costs a
    // few seconds, not the system's TCP time-out; nor does a server that vanishes mid-way.
    std::vector<const char*> keys = {"application_name", "client_encoding",     "keepalives",
                                     "keepalives_idle",  "keepalives_interval", "keepalives_count",
                                     "tcp_user_timeout"};
    std::vector<const char*> values = {"dwl", "UTF8", "1", "10", "5", "3", "20000"};
    if (getenv("PGCONNECT_TIMEOUT") == nullptr) {
        keys.push_back("connect_timeout");
        values.push_back("5");
    }
    keys.push_back("dbname");
    values.push_back(address.c_str());
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (conn_ == nullptr) {
        *why = "results server: out of memory";
        return false;
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        const char* user = PQuser(conn_);
        *why = connectionErrorLine(PQerrorMessage(conn_), user != nullptr ? user : "");
        close();
        return false;
    }
    // Every statement from here on is bounded: a locked table or a stalled server gives an error
    // line after a few seconds instead of holding the sender (and a station's stop) up.
    const std::string limits = "SET statement_timeout = " + std::to_string(kStatementTimeoutMs) +
                               "; SET lock_timeout = " + std::to_string(kLockTimeoutMs);
    if (exec(limits.c_str(), why) && prepareSchema(version, why)) return true;
    close();
    return false;
}

bool ResultsServer::prepareSchema(int target, std::string* why) {
    // The version the tables have: 0 for none.
    const auto readVersion = [this, why](int* version) {
        const Result tables(PQexec(conn_, "SELECT to_regclass('schema_version') IS NOT NULL, "
                                          "to_regclass('runs') IS NOT NULL"));
        if (!tables.ok()) {
            *why = failure();
            return false;
        }
        *version = 0;
        if (tables.text(0, 0) != "t") {
            if (tables.text(0, 1) != "t") return true;
            *why = "results server: it has a table runs that dwl did not make (no schema_version)";
            return false;
        }
        const Result r(PQexec(conn_, "SELECT coalesce(max(version), 0) FROM schema_version"));
        if (!r.ok()) {
            *why = failure();
            return false;
        }
        *version = r.integer(0, 0);
        return true;
    };
    int version = 0;
    if (!readVersion(&version)) return false;
    if (version == target) return true;
    // The lock is taken before the transaction begins: one that began earlier would not see the
    // tables of the station that held the lock before.
    if (!exec(kSchemaLock, why)) return false;
    // Migrating a long table takes longer than a row's statement may.
    bool ok = exec("BEGIN", why) && exec("SET LOCAL statement_timeout = 600000", why) &&
              readVersion(&version);
    if (ok && version > target) {
        *why = "results server: its schema version " + std::to_string(version) +
               " is newer than this program's (" + std::to_string(target) + "); update dwl";
        ok = false;
    }
    for (; ok && version < target; version++) {
        const std::string mark =
            "INSERT INTO schema_version (version) VALUES (" + std::to_string(version + 1) + ")";
        ok = exec(schemaStep(version).c_str(), why) && exec(mark.c_str(), why);
        if (!ok)
            *why += " (making the tables version " + std::to_string(version + 1) +
                    "; the database's owner can do it: README)";
    }
    std::string ignored;
    ok = ok ? exec("COMMIT", why) : (exec("ROLLBACK", &ignored), false);
    exec(kSchemaUnlock, &ignored);
    return ok;
}

bool ResultsServer::store(const UnsentRuns& runs, int* added, std::string* why) {
    *added = 0;
    if (runs.rows.empty()) return true;
    // Where each column is in the local rows; a column the local file lacks is NULL.
    std::vector<int> from(kRunColumns, -1);
    std::string sql = "INSERT INTO runs (" + runColumnNames() + ") VALUES (";
    for (int i = 0; i < kRunColumns; i++) {
        for (size_t k = 0; k < runs.columns.size(); k++)
            if (runs.columns[k] == a_RunColumns[i].name) from[i] = static_cast<int>(k);
        sql += (i > 0 ? ", $" : "$") + std::to_string(i + 1);
    }
    sql += ") ON CONFLICT (run_id) DO NOTHING";

    if (!exec("BEGIN", why)) return false;
    for (const std::vector<StoredValue>& row : runs.rows) {
        std::vector<std::string> texts(kRunColumns);
        std::vector<const char*> params(kRunColumns, nullptr);
        for (int i = 0; i < kRunColumns; i++) {
            if (from[i] < 0 || from[i] >= static_cast<int>(row.size()) || row[from[i]].isNull)
                continue;
            texts[i] = utf8(row[from[i]].text);
            if (a_RunColumns[i].kind == COLUMN_JSON) texts[i] = jsonbText(texts[i]);
            params[i] = texts[i].c_str();
        }
        const Result r(PQexecParams(conn_, sql.c_str(), kRunColumns, nullptr, params.data(),
                                    nullptr, nullptr, 0));
        if (!r.ok()) {
            *why = failure();
            std::string ignored;
            exec("ROLLBACK", &ignored);
            return false;
        }
        *added += atoi(PQcmdTuples(r.get()));
    }
    return exec("COMMIT", why);
}

bool ResultsServer::ping(std::string* why) {
    return exec("SELECT 1", why);
}

bool ResultsServer::select(const RunFilter& filter, std::vector<StoredRun>* runs,
                           std::string* why) {
    std::vector<std::vector<std::string>> table;
    if (!query("SELECT " + runColumnsSelected(DIALECT_SERVER, true) + kFilter, filter, &table, why))
        return false;
    for (size_t i = 1; i < table.size(); i++)
        runs->push_back(storedRunOf(table[i]));
    return true;
}

bool ResultsServer::selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                              std::string* why) {
    // Every column in the local table's order, as the local file's CSV gives them; received_at
    // where the file has sent_at.
    return query("SELECT " + runColumnsSelected(DIALECT_SERVER, false) +
                     ", to_char(received_at AT TIME ZONE 'UTC', "
                     "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') AS received_at" +
                     kFilter,
                 filter, table, why);
}

bool ResultsServer::query(const std::string& sql, const RunFilter& filter,
                          std::vector<std::vector<std::string>>* table, std::string* why) {
    if (conn_ == nullptr) {
        *why = failure();
        return false;
    }
    const Oid text = 25;
    const Oid types[3] = {text, text, text};
    const char* values[3] = {filter.since.c_str(), filter.port.c_str(), filter.station.c_str()};
    const Result r(PQexecParams(conn_, sql.c_str(), 3, types, values, nullptr, nullptr, 0));
    if (!r.ok()) {
        *why = failure();
        return false;
    }
    const int columns = PQnfields(r.get());
    std::vector<std::string> names;
    for (int k = 0; k < columns; k++)
        names.push_back(PQfname(r.get(), k));
    table->push_back(names);
    for (int i = 0; i < PQntuples(r.get()); i++) {
        std::vector<std::string> row;
        for (int k = 0; k < columns; k++)
            row.push_back(r.text(i, k));
        table->push_back(row);
    }
    return true;
}

} // namespace dwlcli

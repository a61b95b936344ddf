#include "app/cli/results_server.h"

#include "app/cli/json_text.h"
#include "app/cli/server_error_line.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace dwlcli {

namespace {

// Held by whoever makes or migrates the tables, so that two stations starting at once on an
// empty database make them once. The number only has to differ from other programs' locks.
const char kSchemaLock[] = "SELECT pg_advisory_lock(5087000001)";
const char kSchemaUnlock[] = "SELECT pg_advisory_unlock(5087000001)";

// a_SchemaSteps[v] takes the tables from version v to v + 1.
const char* const a_SchemaSteps[kServerSchemaVersion] = {
    R"(
CREATE TABLE schema_version (
    version integer PRIMARY KEY,
    applied_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE runs (
    run_id text PRIMARY KEY,
    started_at timestamptz NOT NULL,
    ended_at timestamptz NOT NULL,
    station text NOT NULL,
    port text NOT NULL,
    device text NOT NULL,
    mode integer,
    mode_name text,
    speed integer,
    bin_image text, bin_size bigint, bin_sum bigint,
    ogm_image text, ogm_size bigint, ogm_sum bigint,
    tfs_image text, tfs_size bigint, tfs_sum bigint,
    chip_manufacturer integer,
    chip_device integer,
    chip_name text,
    result_family integer,
    result_code integer,
    result_text text NOT NULL,
    exit_status integer NOT NULL,
    passed boolean NOT NULL,
    duration_s double precision NOT NULL,
    bytes bigint NOT NULL,
    resent_sectors integer NOT NULL,
    cancelled boolean NOT NULL,
    trace_file text,
    result_json text NOT NULL
);
CREATE INDEX runs_by_start ON runs (started_at);
CREATE INDEX runs_by_station_port ON runs (station, port, started_at);
)",
    R"(
ALTER TABLE runs ALTER COLUMN result_json TYPE jsonb USING result_json::jsonb;
ALTER TABLE runs ADD COLUMN received_at timestamptz;
ALTER TABLE runs ALTER COLUMN received_at SET DEFAULT now();
)"};

// The columns a station sends, as both the local and the server's table name them.
const char* const a_SentColumns[] = {"run_id",
                                     "started_at",
                                     "ended_at",
                                     "station",
                                     "port",
                                     "device",
                                     "mode",
                                     "mode_name",
                                     "speed",
                                     "bin_image",
                                     "bin_size",
                                     "bin_sum",
                                     "ogm_image",
                                     "ogm_size",
                                     "ogm_sum",
                                     "tfs_image",
                                     "tfs_size",
                                     "tfs_sum",
                                     "chip_manufacturer",
                                     "chip_device",
                                     "chip_name",
                                     "result_family",
                                     "result_code",
                                     "result_text",
                                     "exit_status",
                                     "passed",
                                     "duration_s",
                                     "bytes",
                                     "resent_sectors",
                                     "cancelled",
                                     "trace_file",
                                     "result_json"};
constexpr int kSentColumns = sizeof a_SentColumns / sizeof a_SentColumns[0];

// Times as the local file writes them (utc_time.h).
#define UTC_TEXT(column)                                                                           \
    "to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"

const char kFilter[] = " FROM runs WHERE ($1 = '' OR started_at >= NULLIF($1, '')::timestamptz)"
                       " AND ($2 = '' OR port = $2) AND ($3 = '' OR station = $3)"
                       " ORDER BY started_at, run_id";

const char kSelectRuns[] = "SELECT run_id, " UTC_TEXT("started_at") ", " UTC_TEXT(
    "ended_at") ", station, port, device, passed::int, cancelled::int, result_family, "
                "result_code, result_text, exit_status, duration_s";

// Every column, in the local table's order, as the local file's CSV gives them.
const char kSelectAll[] = "SELECT run_id, " UTC_TEXT("started_at") " AS started_at, " UTC_TEXT(
    "ended_at") " AS ended_at, station, port, device, mode, mode_name, speed, bin_image, "
                "bin_size, bin_sum, ogm_image, ogm_size, ogm_sum, tfs_image, tfs_size, "
                "tfs_sum, chip_manufacturer, chip_device, chip_name, result_family, "
                "result_code, result_text, exit_status, passed::int AS passed, duration_s, "
                "bytes, resent_sectors, cancelled::int AS cancelled, trace_file, "
                "result_json::text AS result_json, " UTC_TEXT("received_at") " AS received_at";

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
    bool isNull(int row, int column) const { return PQgetisnull(r_, row, column) != 0; }

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

bool isServerAddress(const std::string& text) {
    if (text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0) return true;
    if (text.find('=') == std::string::npos) return false;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
    PQfreemem(error);
    PQconninfoFree(options);
    return options != nullptr;
}

std::string serverDisplayName(const std::string& address) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(address.c_str(), &error);
    PQfreemem(error);
    if (options == nullptr) return "the results server";
    std::string user, host, port, db;
    for (PQconninfoOption* o = options; o->keyword != nullptr; o++) {
        const std::string key = o->keyword;
        const std::string value = o->val != nullptr ? o->val : "";
        if (key == "user") user = value;
        if (key == "host" || (key == "hostaddr" && host.empty())) host = value;
        if (key == "port") port = value;
        if (key == "dbname") db = value;
    }
    PQconninfoFree(options);
    return "postgresql://" + (user.empty() ? "" : user + "@") + host +
           (port.empty() ? "" : ":" + port) + "/" + db;
}

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
    if (prepareSchema(version, why)) return true;
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
    bool ok = exec("BEGIN", why) && readVersion(&version);
    if (ok && version > target) {
        *why = "results server: its schema version " + std::to_string(version) +
               " is newer than this program's (" + std::to_string(target) + "); update dwl";
        ok = false;
    }
    for (; ok && version < target; version++) {
        const std::string mark =
            "INSERT INTO schema_version (version) VALUES (" + std::to_string(version + 1) + ")";
        ok = exec(a_SchemaSteps[version], why) && exec(mark.c_str(), why);
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
    // Where each sent column is in the local rows; a column the local file lacks is NULL.
    int from[kSentColumns];
    std::string sql = "INSERT INTO runs (";
    for (int i = 0; i < kSentColumns; i++) {
        from[i] = -1;
        for (size_t k = 0; k < runs.columns.size(); k++)
            if (runs.columns[k] == a_SentColumns[i]) from[i] = static_cast<int>(k);
        sql += std::string(i > 0 ? ", " : "") + a_SentColumns[i];
    }
    sql += ") VALUES (";
    for (int i = 0; i < kSentColumns; i++)
        sql += (i > 0 ? ", $" : "$") + std::to_string(i + 1);
    sql += ") ON CONFLICT (run_id) DO NOTHING";

    if (!exec("BEGIN", why)) return false;
    for (const std::vector<StoredValue>& row : runs.rows) {
        std::vector<std::string> texts(kSentColumns);
        std::vector<const char*> params(kSentColumns, nullptr);
        for (int i = 0; i < kSentColumns; i++) {
            if (from[i] < 0 || from[i] >= static_cast<int>(row.size()) || row[from[i]].isNull)
                continue;
            texts[i] = utf8(row[from[i]].text);
            if (std::string(a_SentColumns[i]) == "result_json") texts[i] = jsonbText(texts[i]);
            params[i] = texts[i].c_str();
        }
        const Result r(PQexecParams(conn_, sql.c_str(), kSentColumns, nullptr, params.data(),
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

namespace {

// Runs a filtered query; false with the line in *why.
PGresult* filtered(pg_conn* conn, const std::string& sql, const RunFilter& filter) {
    const Oid text = 25;
    const Oid types[3] = {text, text, text};
    const char* values[3] = {filter.since.c_str(), filter.port.c_str(), filter.station.c_str()};
    return PQexecParams(conn, sql.c_str(), 3, types, values, nullptr, nullptr, 0);
}

} // namespace

bool ResultsServer::select(const RunFilter& filter, std::vector<StoredRun>* runs,
                           std::string* why) {
    if (conn_ == nullptr) {
        *why = failure();
        return false;
    }
    const Result r(filtered(conn_, std::string(kSelectRuns) + kFilter, filter));
    if (!r.ok()) {
        *why = failure();
        return false;
    }
    for (int i = 0; i < PQntuples(r.get()); i++) {
        StoredRun s;
        s.runId = r.text(i, 0);
        s.startedAt = r.text(i, 1);
        s.endedAt = r.text(i, 2);
        s.station = r.text(i, 3);
        s.port = r.text(i, 4);
        s.device = r.text(i, 5);
        s.passed = r.integer(i, 6) != 0;
        s.cancelled = r.integer(i, 7) != 0;
        if (!r.isNull(i, 8)) s.family = r.integer(i, 8);
        s.hasCode = !r.isNull(i, 9);
        if (s.hasCode) s.code = r.integer(i, 9);
        s.resultText = r.text(i, 10);
        s.exitStatus = r.integer(i, 11);
        s.durationSeconds = strtod(PQgetvalue(r.get(), i, 12), nullptr);
        runs->push_back(s);
    }
    return true;
}

bool ResultsServer::selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                              std::string* why) {
    if (conn_ == nullptr) {
        *why = failure();
        return false;
    }
    const Result r(filtered(conn_, std::string(kSelectAll) + kFilter, filter));
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

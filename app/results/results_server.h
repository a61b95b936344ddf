// The line's results server: a PostgreSQL database that every station's runs reach, reached
// through libpq. Its tables are made on first use and carry a schema version (table
// schema_version); a program finding an older version migrates it in one transaction.
//
// Table runs holds the columns of the stations' local runs table (results_columns.h) less
// sent_at, with the times as timestamptz and passed/cancelled as boolean; version 2 keeps
// result_json as jsonb (per-sector tries can be queried) and adds received_at, when the server
// got the row; version 3 adds unit_id, the unit a run flashed.
#pragma once

#include "app/options/server_address.h"
#include "app/results/results_db.h"

#include <string>
#include <vector>

struct pg_conn;

namespace dwlcli {

// The version of the server's schema this program writes and reads.
constexpr int kServerSchemaVersion = 3;

class ResultsServer {
  public:
    ResultsServer() = default;
    ~ResultsServer(); // closes the connection

    // Connects and brings the tables to kServerSchemaVersion: made when missing, migrated when
    // older. False, with the line to show in *why (server_error_line.h).
    bool open(const std::string& address, std::string* why);
    // The same, bringing the tables to `version` at most (the schema of an older program).
    bool open(const std::string& address, int version, std::string* why);
    bool isOpen() const { return conn_ != nullptr; }
    void close();

    // Stores the rows in one transaction. A run that is there already stays as it was, so
    // sending a row twice stores it once. *added: the rows that were new.
    bool store(const UnsentRuns& runs, int* added, std::string* why);
    // A round trip: the server still answers.
    bool ping(std::string* why);

    // As ResultsDb::select and ResultsDb::selectAll, over the runs of every station; the CSV
    // table ends on received_at instead of sent_at.
    bool select(const RunFilter& filter, std::vector<StoredRun>* runs, std::string* why);
    bool selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                   std::string* why);

  private:
    // One connection per object.
    ResultsServer(const ResultsServer&) = delete;
    ResultsServer& operator=(const ResultsServer&) = delete;

    bool prepareSchema(int version, std::string* why);
    // Runs a filtered query ($1 since, $2 port, $3 station, $4 unit): the column names, then
    // the rows.
    bool query(const std::string& sql, const RunFilter& filter,
               std::vector<std::vector<std::string>>* table, std::string* why);
    // Runs sql with no parameters and no rows; on failure the line is in *why.
    bool exec(const char* sql, std::string* why);
    std::string failure();

    pg_conn* conn_ = nullptr;
    bool insertPrepared_ = false;
    int version_ = kServerSchemaVersion; // of the tables as this connection uses them
};

} // namespace dwlcli

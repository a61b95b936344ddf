// The results database: one SQLite file, one row per handset run in table `runs`. Every
// process that records runs opens it itself and adds each row in one transaction; the file is
// in WAL mode, so that readers never hold a writer up, with a busy time-out for the writers.
//
// Schema version 2 (PRAGMA user_version); version 2 added unit_id, the unit a run flashed. A
// file of version 1 is migrated when a program opens it for writing, and read as it is.
// `sent_at` stays NULL until a sender has passed the row on to the central database.
#pragma once

#include "app/options/server_address.h"
#include "app/results/results_columns.h"
#include "app/results/run_record.h"

#include <string>
#include <vector>

struct sqlite3;

namespace dwlcli {

// The version of the schema this program writes and reads.
constexpr int kResultsSchemaVersion = 2;
// How long a writer waits for another that holds the file (milliseconds). A row is small: a
// writer that holds the file longer is stuck, and the row waits in the journal
// (results_journal.h) instead of holding up the port.
constexpr int kDefaultBusyTimeoutMs = 2000;

// Rows that no sender has passed on yet: every column but sent_at, named in `columns`.
struct UnsentRuns {
    std::vector<std::string> columns;
    std::vector<std::vector<StoredValue>> rows;
};

// Which rows: empty fields take every row.
struct RunFilter {
    std::string since; // started at or after (UTC text)
    std::string port;
    std::string station;
    std::string unit; // the runs of this unit (unit_id)
};

class ResultsDb {
  public:
    ResultsDb() = default;
    ~ResultsDb();
    ResultsDb(const ResultsDb&) = delete;
    ResultsDb& operator=(const ResultsDb&) = delete;

    // Opens the file for recording runs: creates it and its schema when missing, turns WAL on.
    // False, with the reason in *why, when it cannot be used.
    bool openForWriting(const std::string& path, std::string* why,
                        int busyTimeoutMs = kDefaultBusyTimeoutMs);
    // Opens an existing file to read, also on a read-only mount where its WAL files cannot be
    // made. False, with the reason in *why.
    bool openForReading(const std::string& path, std::string* why);
    bool isOpen() const { return db_ != nullptr; }
    void close();
    // Reads every page of the file (PRAGMA quick_check): false, with what is damaged in *why,
    // for a file whose pages are damaged.
    bool checkPages(std::string* why);

    // Adds the run's row in one transaction. False, with the reason in *why.
    bool insert(const RunRecord& run, std::string* why);
    // The same for a row's values in a_RunColumns order; keepExisting: a run that is there
    // already stays as it was and counts as added (a row replayed from the journal).
    bool insertValues(const std::vector<StoredValue>& values, bool keepExisting, std::string* why);
    // Several rows in one transaction, keepExisting; false leaves none of them added.
    bool insertAll(const std::vector<std::vector<StoredValue>>& rows, std::string* why);

    // The rows of the filter, in the order they started.
    bool select(const RunFilter& filter, std::vector<StoredRun>* runs, std::string* why);
    // Every column of the rows of the filter, as text (NULL as empty), with the column names
    // first: for CSV.
    bool selectAll(const RunFilter& filter, std::vector<std::vector<std::string>>* table,
                   std::string* why);

    // The oldest `limit` rows that were not sent yet (sent_at NULL), in the order they started.
    bool selectUnsent(int limit, UnsentRuns* out, std::string* why);
    // Marks the runs as sent at `sentAt` (UTC text), all in one transaction.
    bool markSent(const std::vector<std::string>& runIds, const std::string& sentAt,
                  std::string* why);
    // How many rows were not sent yet.
    bool countUnsent(long long* count, std::string* why);

  private:
    bool exec(const char* sql, std::string* why);
    bool checkVersion(bool create, std::string* why);
    std::string error() const;

    sqlite3* db_ = nullptr;
    int version_ = kResultsSchemaVersion; // the open file's
};

} // namespace dwlcli

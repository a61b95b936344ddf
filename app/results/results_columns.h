// The columns of table `runs`, written once for both stores: the stations' SQLite file
// (results_db.h) and the line's PostgreSQL server (results_server.h). Each column has its name,
// its type in each store, how a run gives its value and how the report reads it back; the two
// stores make their tables, their inserts and their selects from this table alone.
#pragma once

#include "app/results/run_record.h"

#include <string>
#include <vector>

namespace dwlcli {

// A column's value as stored, NULL kept apart from the empty text.
struct StoredValue {
    bool isNull = true;
    std::string text;
};

// The fields of a stored run that the report reads.
struct StoredRun {
    std::string runId, startedAt, endedAt, station, port, device;
    bool passed = false;
    bool cancelled = false;
    int family = -1; // -1: NULL
    int code = -1;   // -1: NULL
    bool hasCode = false;
    std::string resultText;
    int exitStatus = 0;
    double durationSeconds = 0.0;
    std::string unitId; // empty: the run named no unit
    // The images' names and byte sums (binary, ogm, tfs); empty where the run had none.
    std::string imagePath[3];
    std::string imageSum[3];
};

// What a value is, and so how each store binds and shows it.
enum RunColumnKind {
    COLUMN_TEXT,
    COLUMN_INTEGER,
    COLUMN_REAL,
    COLUMN_FLAG, // 0 or 1 in the file, boolean on the server
    COLUMN_TIME, // UTC text (utc_time.h) in the file, timestamptz on the server
    COLUMN_JSON, // text in the file; jsonb on the server from its schema version 2 on
};

struct RunColumn {
    const char* name;
    RunColumnKind kind;
    const char* fileType;   // the SQLite file's
    const char* serverType; // the server's, as its first schema version made it
    bool required;          // NOT NULL
    StoredValue (*value)(const RunRecord& run);
    // Sets the report's field from the stored text; null for a column the report does not read.
    void (*read)(StoredRun* run, const std::string& text);
    // The schema versions that added the column (the file's, the server's); the tables of the
    // first version hold the columns of version 1, later ones come by migration.
    int fileVersion = 1;
    int serverVersion = 1;
};

// Every column a run fills, in the tables' order (sent_at, received_at are the stores' own).
extern const RunColumn a_RunColumns[];
extern const int kRunColumns;

enum ResultsDialect { DIALECT_FILE, DIALECT_SERVER };

// "name TYPE [PRIMARY KEY] [NOT NULL]" for every column of the first version, joined by
// ",\n    ".
std::string runColumnsDdl(ResultsDialect dialect);
// The names, joined by ", ".
std::string runColumnNames();
// What a SELECT lists to read the columns back as the file's text (times as utcText, flags as 0
// or 1), every column or only the report's. A column that a file of schema version
// `fileVersion` does not have yet reads as NULL.
std::string runColumnsSelected(ResultsDialect dialect, bool reportOnly, int fileVersion = 1000);
// "ALTER TABLE runs ADD COLUMN ..." for the columns the store's version `version` added.
std::string runColumnsAdded(ResultsDialect dialect, int version);

// The run's values, in a_RunColumns order.
std::vector<StoredValue> runColumnValues(const RunRecord& run);
// A stored run from the texts a runColumnsSelected(.., true) select gave, in its order.
StoredRun storedRunOf(const std::vector<std::string>& reportTexts);

} // namespace dwlcli

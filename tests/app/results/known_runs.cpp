#include "tests/app/results/known_runs.h"

#include "app/results/results_db.h"
#include "app/run/exit_status.h"

#include <sqlite3.h>

#include <cstdio>

namespace knownruns {

namespace {

enum Outcome { PASS, NO_ANSWER, BAD_ACK, CANCELLED };

struct Known {
    const char* unit;
    const char* station;
    const char* port;
    Outcome outcome;
    double seconds;
};

// In the order they started, ten minutes apart.
const Known a_Known[] = {
    {"U-001", "line-1", "COM1", PASS, 12},      {"U-002", "line-1", "COM2", NO_ANSWER, 10},
    {"", "line-2", "COM1", PASS, 13},           {"U-003", "line-1", "COM1", BAD_ACK, 11},
    {"U-006", "line-1", "COM2", CANCELLED, 5},  {"U-002", "line-2", "COM1", PASS, 14},
    {"U-004", "line-1", "COM1", PASS, 15},      {"U-003", "line-1", "COM2", NO_ANSWER, 16},
    {"U-005", "line-2", "COM1", CANCELLED, 6},  {"", "line-1", "COM1", BAD_ACK, 17},
    {"U-004", "line-1", "COM2", NO_ANSWER, 18}, {"U-005", "line-2", "COM1", PASS, 40},
};
constexpr double kStart = 1800000000.0; // 2027-01-15T08:00:00Z

dwlcli::RunRecord record(int i) {
    const Known& k = a_Known[i];
    dwlcli::RunReport r;
    r.port = k.port;
    r.device = std::string("/dev/ttyUSB") + (k.port[3] == '1' ? "0" : "1");
    r.mode = 1;
    r.baud = 460800;
    // From the sixth run on, a new software and a language image.
    if (i < 5) {
        r.images.push_back({"binary", "/images/sw-1.0.bin", 65536, 1234567});
    } else {
        r.images.push_back({"binary", "/images/sw-1.1.bin", 65536, 2345678});
        r.images.push_back({"ogm", "/images/lang-2.ogm", 4096, 99999});
    }
    switch (k.outcome) {
    case PASS: r.result = {true, 0, false, 0, "Download successful"}; break;
    case NO_ANSWER:
        r.result = {true, 6, true, 4, "The mobile does not answer"};
        r.exitStatus = 6;
        break;
    case BAD_ACK:
        r.result = {true, 8, true, 3, "Bad command acknowledge"};
        r.exitStatus = 8;
        break;
    case CANCELLED:
        r.result = {true, 0, false, 0, "Cancelled"};
        r.exitStatus = dwlcli::kExitCancelled;
        break;
    }
    const double t = kStart + i * 600;
    dwlcli::RunRecord run = dwlcli::makeRunRecord(r, t, t + k.seconds, k.seconds, k.station);
    // Ids that do not follow the starts.
    char id[40];
    snprintf(id, sizeof id, "%08x-0000-4000-8000-000000000000", (i * 7) % 12);
    run.runId = id;
    run.unitId = k.unit;
    return run;
}

} // namespace

std::vector<dwlcli::RunRecord> runs() {
    std::vector<dwlcli::RunRecord> out;
    const int count = static_cast<int>(sizeof a_Known / sizeof a_Known[0]);
    // Every odd run first, then the even ones backwards.
    for (int i = 1; i < count; i += 2)
        out.push_back(record(i));
    for (int i = count - 2; i >= 0; i -= 2)
        out.push_back(record(i));
    return out;
}

bool write(const std::string& file, std::string* why) {
    dwlcli::ResultsDb db;
    if (!db.openForWriting(file, why)) return false;
    for (const dwlcli::RunRecord& run : runs())
        if (!db.insert(run, why)) return false;
    return true;
}

bool createVersionOneFile(const std::string& file) {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, R"(
CREATE TABLE runs (run_id TEXT PRIMARY KEY NOT NULL, started_at TEXT NOT NULL,
    ended_at TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL, device TEXT NOT NULL,
    mode INTEGER, mode_name TEXT, speed INTEGER, bin_image TEXT, bin_size INTEGER,
    bin_sum INTEGER, ogm_image TEXT, ogm_size INTEGER, ogm_sum INTEGER, tfs_image TEXT,
    tfs_size INTEGER, tfs_sum INTEGER, chip_manufacturer INTEGER, chip_device INTEGER,
    chip_name TEXT, result_family INTEGER, result_code INTEGER, result_text TEXT NOT NULL,
    exit_status INTEGER NOT NULL, passed INTEGER NOT NULL, duration_s REAL NOT NULL,
    bytes INTEGER NOT NULL, resent_sectors INTEGER NOT NULL, cancelled INTEGER NOT NULL,
    trace_file TEXT, result_json TEXT NOT NULL, sent_at TEXT);
CREATE INDEX runs_by_start ON runs(started_at);
CREATE INDEX runs_unsent ON runs(started_at) WHERE sent_at IS NULL;
PRAGMA user_version = 1;)",
                                 nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace knownruns

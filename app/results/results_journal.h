// The journal of a results file: the rows the file refused (another program holds it, its pages
// are damaged, the disk is full) wait here instead of in a process's memory, so that a finished
// run is never lost while the machine runs. It lies beside the file (results.sqlite gives
// results.sqlite.unrecorded.jsonl) and holds one JSON object per line, a row's columns by name
// (results_columns.h), each line appended and flushed to disk whole. A line cut short by a crash
// is skipped. Replaying adds every row to the file in one transaction, keeping a run that is
// there already, and then removes the journal: a crash between the two adds no row twice, since
// run ids are unique. The processes of a station share the journal under a lock (flock).
#pragma once

#include "app/results/results_db.h"

#include <string>
#include <vector>

namespace dwlcli {

std::string journalPath(const std::string& resultsFile);

// Appends a row (a_RunColumns order). False, with the reason in *why.
bool journalAppend(const std::string& resultsFile, const std::vector<StoredValue>& values,
                   std::string* why);
// The rows waiting in the journal (lines that are whole).
long long journalCount(const std::string& resultsFile);
// Adds the journal's rows to db (open for writing on resultsFile). *waiting: the rows still in
// the journal afterwards. False, with the reason in *why, when db refused them.
bool journalReplay(const std::string& resultsFile, ResultsDb* db, long long* waiting,
                   std::string* why);

// What became of a run's row.
struct RecordOutcome {
    bool recorded = false;  // in the file
    bool journaled = false; // else waiting in the journal (false: lost, why says why)
    std::string why;        // why the file refused it
};
// Records the run: the journal's rows first, then the run's row; a row the file refuses goes to
// the journal. db may be closed (it is opened on resultsFile then).
RecordOutcome recordRun(ResultsDb* db, bool* dbOpen, const std::string& resultsFile,
                        const RunRecord& run);

} // namespace dwlcli

// Where a report reads runs from: a station's SQLite results file, or the line's results server
// given as a libpq connection string (postgresql://USER@HOST/DB, host=... dbname=...), for the
// runs of every station.
#pragma once

#include "app/results/results_db.h"

#include <string>
#include <vector>

namespace dwlcli {

// The runs of the filter, in the order they started. False, with the reason in *why.
bool readStoredRuns(const std::string& source, const RunFilter& filter,
                    std::vector<StoredRun>* runs, std::string* why);
// Every column of those runs as text, the column names first (for CSV).
bool readRunTable(const std::string& source, const RunFilter& filter,
                  std::vector<std::vector<std::string>>* table, std::string* why);

} // namespace dwlcli

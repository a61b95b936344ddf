// The report of dwl results over the rows of the results database, and its CSV form.
#pragma once

#include "app/results/report_figures.h"
#include "app/results/results_db.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dwlcli {

// Yield per port within each station, per station and in all (passes over the runs that were
// not cancelled), the failure causes by count, the median and 95th-percentile run time of the
// runs that were not cancelled, the handsets per hour from the first start to the last end, and
// the units: how many, their first-pass and final yield, those flashed more than once
// (unit_counts.h).
std::string resultsReport(const std::string& file, const RunFilter& filter,
                          const std::vector<StoredRun>& runs);
// The same from the figures already worked out.
std::string resultsReport(const std::string& file, const RunFilter& filter,
                          const ReportFigures& figures);

// Rows as CSV (RFC 4180: fields with a comma, a quote or a line end quoted). False when the
// stream did not take it all.
bool writeCsv(FILE* out, const std::vector<std::vector<std::string>>& table);

} // namespace dwlcli

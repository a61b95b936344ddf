// The report of dwl results as one HTML page that needs nothing else: its style inline, its
// charts inline SVG, no script. It shows the figures of the text report (report_figures.h):
// yield per hour as a line, the failure causes as a Pareto chart, the run times as a
// histogram, a table per station and port, and the unit counts.
#pragma once

#include "app/results/report_figures.h"
#include "app/results/results_db.h"

#include <string>

namespace dwlcli {

// At most this many ports of a station are listed, the most runs first; the rest are summed
// in one line, so that the page stays small whatever the database holds.
constexpr int kHtmlPortsPerStation = 100;
// At most this many failure causes are listed; the rest are summed in one line.
constexpr int kHtmlCauses = 40;

// The page; source names the database as the text report does.
std::string resultsHtml(const std::string& source, const RunFilter& filter,
                        const ReportFigures& figures);

// Text for HTML, in an element or an attribute: & < > " ' escaped, control characters shown as
// oneLine shows them.
std::string htmlText(const std::string& text);

} // namespace dwlcli

// A production station: one process per port (station_port.h), each looping over the handsets
// plugged into it; this process passes their events on (JSON lines, plain lines, or one line
// per port redrawn in place on a terminal) and keeps the totals. Ctrl-C once lets the runs in
// progress finish and stops; twice cancels them.
#pragma once

#include "app/station/station_port.h"

#include <vector>

namespace dwlcli {

struct StationSettings {
    std::vector<StationPortSettings> ports;
    StationStart start; // what the station_started event says
    // The line's results server (a libpq connection string) the runs of start.results are
    // passed on to; empty: none.
    std::string resultsServer;
    bool jsonLines = false;
    // The units' scans come on standard input as lines "PORT ID" (--units-from-stdin); with
    // requireUnit no port flashes a handset before its scan.
    bool unitsFromStdin = false;
    bool requireUnit = false;
    // Why the runs in the results file's journal could not be added at the start, or empty.
    std::string journalError;
    // For the demo and the benchmark: stop as on one Ctrl-C once this many runs have ended
    // (0: never).
    int stopAfterRuns = 0;
};

// Runs the station until it is stopped. 0, or the status of the first port that could not
// start when none could.
int runStation(const StationSettings& settings);

} // namespace dwlcli

// One port of a production station, in a process of its own: it waits for the next handset
// (the boot's wait for the boot loader, repeated quietly while none answers), flashes it,
// records the run, reports PASS or FAIL, and waits for the next one, until it is stopped. A
// device that goes away is reported lost and waited for. Its events go to the station as JSON
// lines (station_events.h).
#pragma once

#include "app/run/run_settings.h"
#include "app/station/station_events.h"

#include <cstdio>
#include <string>

namespace dwlcli {

struct StationPortSettings {
    RunSettings run;         // the run on this port
    PortLabel label;         // its name and device
    std::string station;     // the station's name, for the records
    std::string resultsFile; // the results database
    std::string logFile;     // the port's log file (appended), or empty
    // The units' scans come on standard input, one label a line, the last one for the next
    // handset; requireUnit: no handset is flashed before its scan.
    bool unitScans = false;
    bool requireUnit = false;
};

// Serves the port until a stop signal (port_stop_signals.h); writes its events to `events`.
// Returns 0, or the exit status of a setting that cannot run.
int runStationPort(const StationPortSettings& settings, FILE* events);

} // namespace dwlcli

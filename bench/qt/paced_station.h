// A stand-in for `dwl station --json-lines` that prints the lines of a busy station at the pace
// of real handsets: every port waits a few seconds for its handset, boots it, writes an image
// for about twelve seconds with one progress line a second, and ends with PASS (every fifth run
// of a port fails); port 6 loses its device once and gets it back. SIGINT once lets the runs in
// progress finish, twice cancels them, as the station does.
#pragma once

#include <string>
#include <vector>

// Runs until interrupted; ports as given with --port. Returns the exit status.
int paced_station_Run(const std::vector<std::string>& ports);

// The serial line on the command line: the trace file a run asked for, and what the line last
// carried when a run failed.
#pragma once

#include "app/run/run_settings.h"
#include "link/line_trace.h"

#include <cstdio>

namespace dwlcli {

// Opens the trace file of the settings, if any. 0, or an exit status with the reason printed.
int startLineTrace(const RunSettings& settings);
// Closes it: true when every line reached the file, otherwise false with the reason printed.
bool stopLineTrace(const RunSettings& settings);
// The step where the run stopped and the last bytes in each direction; nothing when the run
// never reached the line.
void printLineReport(FILE* out);

} // namespace dwlcli

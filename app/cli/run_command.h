// Runs a download command (flash, boot, format) on one port in this process, or on several
// ports at once in child processes.
#pragma once

#include "app/run/run_settings.h"

namespace dwlcli {

// Returns the exit status.
int runDownloadCommand(const RunRequest& request, RunCommand kind);
// One port, settings already checked.
int runOnePort(const RunSettings& settings, RunCommand kind);

} // namespace dwlcli

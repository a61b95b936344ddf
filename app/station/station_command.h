// dwl station as typed, and its settings checked before any port starts (used by dwl demo
// --station too).
#pragma once

#include "app/station/station.h"

#include <string>

namespace dwlcli {

struct StationRequest {
    RunRequest run; // ports, images, mode, speed, model, settings file, working folder
    std::string results, station, logFile;
    bool jsonLines = false;
    bool unitsFromStdin = false;
    bool requireUnit = false;
};

// Checks every port's settings, opens (creates) the results database and tries the settings on
// the panel (images, flash.txt, the bootstrap). 0, or the exit status with the reason on
// standard error.
int prepareStation(const StationRequest& request, StationSettings* out);

} // namespace dwlcli

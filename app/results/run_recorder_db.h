// The record of one dwl flash run: a row of the SQLite results file, passed on at once to the
// line's results server when there is one (a server that cannot take it gets it later).
#pragma once

#include "app/run/run_recorder.h"
#include "app/run/run_settings.h"

#include <memory>

namespace dwlcli {

// The recorder of a run with these settings; none when they name no results file.
std::unique_ptr<RunRecorder> makeResultsRecorder(const RunSettings& settings);

} // namespace dwlcli

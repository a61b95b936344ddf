// What a download command was asked to do, as the command line gave it, and the same checked
// and resolved into settings for the operator session.
#pragma once

#include "app/options/option_values.h"
#include "sim/fault_options.h"
#include "sim/handset.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace dwlcli {

// Where output goes that nobody reads.
#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
#endif

// Handset faults and flash of the in-process emulated handset (--sim), as typed.
struct SimFaults : sim::FaultOptions {
    std::string flashFile;
};

// The options as typed.
struct RunRequest {
    std::vector<std::string> ports;
    std::string mode, speed, waitStates, model, productType, pmu, downloadType;
    std::string bin, ogm, tfs, config, workdir, logFile;
    std::string traceFile, traceData;
    std::string resultsFile, station;
    bool json = false;
    bool sim = false;
    SimFaults faults;
};

// Checked settings; paths are absolute.
struct RunSettings {
    PortChoice port;     // the one port of this process
    std::string workdir; // flash.txt, dwl87.spm, dwl88.spm
    // No folder given: what the working directory lacks may come from the data folders.
    bool searchDataFolders = false;
    std::string layoutDir; // mmi.uir, Utility.uir
    int mode = -1;         // -1: leave the panel's
    int speed = -1;
    int model = -1;
    int productType = -1;
    int pmu = -1;
    int downloadType = -1;
    bool waitStatesGiven = false;
    int waitStates[4] = {0, 0, 0, 0};
    std::string bin, ogm, tfs, config, logFile;
    std::string traceFile; // the line trace, or empty
    bool traceFull = false;
    std::string resultsFile; // the results database the run is recorded in, or empty
    // The line's results server the recorded runs go on to (a libpq connection string), or
    // empty; the runs are then recorded in results.sqlite first.
    std::string resultsServer;
    std::string station; // the name the runs are recorded under
    bool json = false;
    bool sim = false;
    sim::HandsetConfig simConfig;
};

// Which options a command offers.
enum RunCommand { RUN_FLASH, RUN_BOOT, RUN_FORMAT };

// Adds the options of a download command to a subcommand.
void addRunOptions(CLI::App* command, RunRequest* request, RunCommand kind);

// Checks the request for one port (index into request.ports, or the default COM4 when none is
// given) and resolves paths against the current directory. 0, or an exit status with the
// reason printed on stderr.
int resolveRun(const RunRequest& request, size_t portIndex, RunCommand kind, RunSettings* out);

// The folder holding the layout files, or empty (reason printed) when none is found.
std::string findLayoutDir();
// The samples folder (installed data folder or the source tree's examples), or empty.
std::string findExamplesDir();
// The folder of the running program.
std::string programDir();
// The name of this computer: a station's name by default (a build that records runs).
std::string hostName();

} // namespace dwlcli

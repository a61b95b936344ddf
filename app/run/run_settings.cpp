#include "app/run/run_settings.h"

#include "app/options/server_address.h"
#include "app/run/exit_status.h"
#include "link/com_map.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "link/program_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(DWL_CLI_WITH_RESULTS) && !defined(_WIN32)
#include <unistd.h>
#endif
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace dwlcli {

#ifdef DWL_CLI_WITH_RESULTS
std::string hostName() {
#ifdef _WIN32
    const char* computer = getenv("COMPUTERNAME");
    return computer != nullptr && computer[0] != '\0' ? computer : "localhost";
#else
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
#endif
}
#endif

namespace {

int usage(const std::string& why) {
    fprintf(stderr, "dwl: %s\n", why.c_str());
    return kExitUsage;
}

int noInput(const std::string& why) {
    fprintf(stderr, "dwl: %s\n", why.c_str());
    return kExitNoInput;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// Empty when the file can be read, otherwise why not.
std::string unreadable(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return "no such file";
    if (fs::is_directory(path, ec)) return "it is a folder";
    FILE* file = dwl12_10OpenWholeFile(path.c_str());
    if (file == nullptr) return dwl12_11OpenErrorText(errno);
    fclose(file);
    return "";
}

bool hasFile(const std::string& dir, const char* name) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(dir) / name, ec);
}

int resolveSim(const RunRequest& request, RunSettings* out) {
    const SimFaults& in = request.faults;
    sim::HandsetConfig& config = out->simConfig;
    config = sim::DefaultConfig();
    // Bytes take the time they would take on the wire, in the handset's virtual time.
    config.wirePacing = true;
    const std::string examples = findExamplesDir();
    std::error_code ec;
    if (!examples.empty() && !fs::is_regular_file(config.flashFile, ec))
        config.flashFile = examples + "/flash.txt";
    if (!in.flashFile.empty()) {
        const std::string why = unreadable(in.flashFile);
        if (!why.empty())
            return noInput("cannot read the handset's flash description " + in.flashFile + ": " +
                           why);
        config.flashFile = absolute(in.flashFile);
    }
    const std::string problem = sim::ApplyFaultOptions(in, "--sim-", &config);
    if (!problem.empty()) return usage(problem);
    return 0;
}

int resolveNumber(const std::string& text, const char* option, int low, int high, int* value) {
    if (text.empty()) return 0;
    if (!parseInt(text, low, high, value))
        return usage(std::string(option) + " takes " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + text + "\"");
    return 0;
}

int resolveImage(const std::string& given, const char* what, std::string* out) {
    if (given.empty()) return 0;
    const std::string why = unreadable(given);
    if (!why.empty())
        return noInput(std::string("cannot read the ") + what + " " + given + ": " + why);
    *out = absolute(given);
    if (out->size() > 259)
        return usage(std::string("the path of the ") + what + " is longer than 259 characters");
    return 0;
}

} // namespace

std::string programDir() {
    return dwl_ProgramFolder();
}

std::string findLayoutDir() {
    return dwl12_6FindDataFolder("mmi.uir");
}

std::string findExamplesDir() {
    return dwl12_6FindDataFolder("flash.txt");
}

void addRunOptions(CLI::App* c, RunRequest* r, RunCommand kind) {
    c->add_option("--port,-p", r->ports,
                  kind == RUN_FLASH ? portHelp() + "; repeat it to flash several handsets at once"
                                    : portHelp());
    c->add_option("--speed,-s", r->speed,
                  "link speed: index 0-8 or baud rate (" + speedList() + "); default 460800");
    if (kind == RUN_FLASH) {
        c->add_option("--mode,-m", r->mode,
                      "download mode: number or name (" + modeList() +
                          "); default: the images given");
        c->add_option("--model", r->model, "handset model 0-2 (places the ogm image); default 1");
        c->add_option("--bin", r->bin, "binary image (*.bin)");
        c->add_option("--ogm", r->ogm, "ogm image (*.ogm)");
        c->add_option("--tfs", r->tfs,
                      "TFS ogm image (*.tfs), described by the .cfg beside it or tfs.cfg");
#ifdef DWL_CLI_WITH_RESULTS
        c->add_option("--results", r->resultsFile,
                      "record the run in this SQLite results database (created when missing); "
                      "or, given a server (postgresql://USER@HOST/DB), in results.sqlite and "
                      "then on the server");
        c->add_option("--station", r->station,
                      "the station's name in the recorded runs; default: the host name");
#else
        // Not offered, but named plainly when given.
        c->add_option("--results", r->resultsFile)->group("");
        c->add_option("--station", r->station)->group("");
#endif
        c->add_option("--download-type", r->downloadType,
                      "download type 0-4 (anything but 0 writes no image); default 0");
    }
    c->add_option("--product-type", r->productType, "product type 0-2; default 2");
    c->add_option("--pmu", r->pmu, "PMU option 0 or 1; default 0");
    c->add_option("--wait-states", r->waitStates,
                  "wait states of chip selects 0-3, four counts 0-4: 0,0,1,2");
    c->add_option("--config", r->config, "settings file to restore (config.txt format)");
    c->add_option("--workdir,-C", r->workdir,
                  "folder holding flash.txt, dwl87.spm and dwl88.spm; default: the current one, "
                  "or the installed data folder when it has neither flash.txt nor dwl87.spm");
    c->add_flag("--json", r->json, "print one JSON summary on stdout (log lines go to stderr)");
    c->add_option("--log", r->logFile, "also write the operator log, with timestamps, to FILE");
    c->add_option("--trace", r->traceFile,
                  "write a trace of the serial line (every chunk and event, with its protocol "
                  "step) to FILE");
    c->add_option("--trace-data", r->traceData,
                  "summary (default: bulk data as its first and last 16 bytes, count and sum) "
                  "or full (every byte)");
    c->add_flag("--sim", r->sim, "use an emulated handset in this process instead of a port");
    c->add_option("--sim-silent-from", r->faults.silentFrom,
                  "emulated handset falls silent at STEP[:N]");
    c->add_option("--sim-wrong-reply", r->faults.wrongReply,
                  "emulated handset sends a wrong reply at STEP[:N]");
    c->add_option("--sim-disconnect", r->faults.disconnectAt,
                  "the emulated cable is pulled at STEP[:N]");
    c->add_option("--sim-reject-sector", r->faults.rejectSectors,
                  "emulated handset rejects the sector at ADDRESS once");
    c->add_option("--sim-bad-checksum", r->faults.badChecksums,
                  "emulated handset gives a wrong checksum for the sector at ADDRESS once");
    c->add_option("--sim-tfs-start-error", r->faults.tfsStartError,
                  "emulated handset refuses the TFS start with A1 or A5");
    c->add_option("--sim-manufacturer", r->faults.manufacturer,
                  "manufacturer code of the emulated flash");
    c->add_option("--sim-device", r->faults.device, "device code of the emulated flash");
    c->add_option("--sim-flash", r->faults.flashFile,
                  "flash description the emulated flash's geometry comes from");
}

int resolveRun(const RunRequest& request, size_t portIndex, RunCommand kind, RunSettings* out) {
    RunSettings s;
    s.json = request.json;
    s.sim = request.sim;
    std::string why;
    s.port = PortChoice{0, ""}; // the panel's own choice
    if (portIndex < request.ports.size() && !parsePort(request.ports[portIndex], &s.port, &why))
        return usage(why);
    if (!s.port.device.empty() && !s.sim && !dwl_SerialDevicePresent(s.port.device))
        return noInput("no serial device " + s.port.device);

    if (!request.speed.empty()) {
        s.speed = parseSpeed(request.speed);
        if (s.speed < 0)
            return usage("unknown speed \"" + request.speed + "\"; the speeds are " + speedList());
    }
    if (int rc = resolveNumber(request.model, "--model", 0, 2, &s.model); rc != 0) return rc;
    if (int rc = resolveNumber(request.productType, "--product-type", 0, 2, &s.productType);
        rc != 0)
        return rc;
    if (int rc = resolveNumber(request.pmu, "--pmu", 0, 1, &s.pmu); rc != 0) return rc;
    if (int rc = resolveNumber(request.downloadType, "--download-type", 0, 4, &s.downloadType);
        rc != 0)
        return rc;
    if (!request.waitStates.empty()) {
        if (!parseWaitStates(request.waitStates, s.waitStates))
            return usage("--wait-states takes four counts 0 to 4, one per chip select: 0,0,1,2");
        s.waitStatesGiven = true;
    }

    if (int rc = resolveImage(request.bin, "binary image", &s.bin); rc != 0) return rc;
    if (int rc = resolveImage(request.ogm, "ogm image", &s.ogm); rc != 0) return rc;
    if (int rc = resolveImage(request.tfs, "TFS ogm image", &s.tfs); rc != 0) return rc;
    if (!request.config.empty()) {
        const std::string problem = unreadable(request.config);
        if (!problem.empty())
            return noInput("cannot read the settings file " + request.config + ": " + problem);
        s.config = absolute(request.config);
    }
    if (!request.logFile.empty()) s.logFile = absolute(request.logFile);
    if (!request.traceFile.empty()) s.traceFile = absolute(request.traceFile);
#ifdef DWL_CLI_WITH_RESULTS
    if (isServerAddress(request.resultsFile) && !serverForwardingInBuild()) {
        return usage(serverForwardingMissing());
    } else if (isServerAddress(request.resultsFile)) {
        s.resultsServer = request.resultsFile;
        s.resultsFile = absolute(kDefaultResultsFile);
    } else if (!request.resultsFile.empty()) {
        s.resultsFile = absolute(request.resultsFile);
    }
    s.station = request.station.empty() ? hostName() : request.station;
#else
    if (!request.resultsFile.empty() || !request.station.empty())
        return usage("--results and --station are not in this build of dwl (the results database "
                     "needs the Linux dwl)");
#endif
    if (request.traceData == "full")
        s.traceFull = true;
    else if (!request.traceData.empty() && request.traceData != "summary")
        return usage("--trace-data takes summary or full, not \"" + request.traceData + "\"");

    if (kind == RUN_FLASH) {
        if (!request.mode.empty()) {
            s.mode = parseMode(request.mode);
            if (s.mode < 0)
                return usage("unknown mode \"" + request.mode + "\"; the modes are " + modeList());
        } else {
            const bool binary = !s.bin.empty() || !s.config.empty();
            s.mode = modeForImages(binary, !s.ogm.empty(), !s.tfs.empty());
            if (s.mode < 0)
                return usage("nothing to download: give --bin, --ogm, --tfs or --config");
        }
        const char* names[3] = {"binary", "ogm", "TFS ogm"};
        const std::string* given[3] = {&s.bin, &s.ogm, &s.tfs};
        for (int i = 0; i < 3; i++)
            if (!given[i]->empty() && !modeTakesImage(s.mode, i))
                return usage("mode " + std::to_string(s.mode) + " (" + modeName(s.mode) +
                             ") does not download a " + names[i] + " image");
    }

    s.layoutDir = findLayoutDir();
    if (s.layoutDir.empty()) {
        fprintf(stderr, "dwl: cannot find the layout files (mmi.uir); install dwl or set "
                        "DWL_SOURCE_DIR to the source tree\n");
        return kExitInternal;
    }
    if (!request.workdir.empty()) {
        std::error_code ec;
        if (!fs::is_directory(request.workdir, ec)) return noInput("no folder " + request.workdir);
        s.workdir = absolute(request.workdir);
    } else {
        s.workdir = absolute(".");
        s.searchDataFolders = true;
        // The emulated handset does without the maker's programs: the samples serve.
        if (s.sim && !hasFile(s.workdir, "flash.txt")) {
            const std::string examples = findExamplesDir();
            if (!examples.empty()) s.workdir = examples;
        }
    }
    if (s.sim)
        if (int rc = resolveSim(request, &s); rc != 0) return rc;
    *out = s;
    return 0;
}

} // namespace dwlcli

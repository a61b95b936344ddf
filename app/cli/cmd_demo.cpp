// dwl demo: starts the emulated handset on a pseudo-terminal and writes the sample binary, ogm
// and TFS images into it in mode 5 at 460800 baud through the serial port, as on a bench. The
// handset keeps the wire's pace, so the run takes the time a real one would.
#include "app/cli/cli_registry.h"
#include "app/run/exit_status.h"
#ifdef DWL_CLI_WITH_HANDSET_PROGRAM
#include "app/cli/handset_process.h"
#endif
#ifdef DWL_CLI_WITH_RESULTS
#include "app/results/results_report.h"
#include "app/station/station_command.h"
#endif
#include "app/cli/run_command.h"
#include "app/cli/run_signals.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <cstdio>
#include <filesystem>

namespace {

constexpr long kDemoBaud = 460800;
// Start bit, eight data bits, stop bit: the link has no parity after the speed change.
constexpr double kBitsPerByte = 10.0;

long long fileSize(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<long long>(size);
}

int runDemo(bool json) {
    const std::string examples = dwlcli::findExamplesDir();
    if (examples.empty()) {
        fprintf(stderr, "dwl: cannot find the samples; install dwl or set DWL_SOURCE_DIR to the "
                        "source tree\n");
        return dwlcli::kExitNoInput;
    }
    dwlcli::RunRequest request;
    request.workdir = examples;
    request.mode = "5";
    request.speed = "460800";
    request.bin = examples + "/sample.bin";
    request.ogm = examples + "/sample.ogm";
    request.tfs = examples + "/sample.tfs";
    request.json = json;

#ifdef DWL_CLI_WITH_HANDSET_PROGRAM
    dwlcli::HandsetProcess handset;
    const std::string program = dwlcli::handsetProgram();
    if (program.empty()) {
        fprintf(stderr, "dwl: dwl-handset-sim is not built beside dwl\n");
        return dwlcli::kExitInternal;
    }
    std::string why;
    // The handset describes its flash from the same examples folder as the run.
    if (!handset.start(program, {"--flash", examples + "/flash.txt"}, 10000, &why)) {
        fprintf(stderr, "dwl: %s\n", why.c_str());
        return dwlcli::kExitInternal;
    }
    fprintf(json ? stderr : stdout, "dwl demo: emulated handset on %s (dwl-handset-sim)\n",
            handset.device().c_str());
    request.ports = {handset.device()};
#else
    fprintf(stderr, "dwl demo: no dwl-handset-sim on this system (it serves a pseudo-terminal); "
                    "using the emulated handset in this process\n");
    request.sim = true;
#endif
    fprintf(json ? stderr : stdout,
            "dwl demo: writing sample.bin, sample.ogm and sample.tfs in mode 5 at 460800 baud\n");
    const long long bytes = fileSize(request.bin) + fileSize(request.ogm) + fileSize(request.tfs);
    const double wireRate = kDemoBaud / kBitsPerByte;
    fprintf(json ? stderr : stdout,
            "dwl demo: %lld image bytes; the wire carries at most %.0f B/s, so they take at "
            "least %.1f s\n",
            bytes, wireRate, static_cast<double>(bytes) / wireRate);
    fflush(stdout);
    // After the handset program started: it keeps the signal dispositions of its own.
    const dwlcli::RunSignals signals;
    dwlcli::RunSettings settings;
    int status = dwlcli::resolveRun(request, 0, dwlcli::RUN_FLASH, &settings);
    if (status == 0) status = dwlcli::runOnePort(settings, dwlcli::RUN_FLASH);
    // The handset program, if any, stops as it goes out of scope.
    return status;
}

// The emulated handsets of the station demo: two on each port, a second apart; the fourth
// port's first handset answers one sector with a wrong checksum (sent again: it passes), the
// third port's second one answers a sector acknowledgement wrongly (it fails).
const char* const a_DemoFaults[4][2] = {
    {nullptr, nullptr},
    {nullptr, nullptr},
    {"--wrong-reply", "SectorAck:2"},
    {"--bad-checksum", "0x02010000"},
};
constexpr int kDemoHandsetsPerPort = 2;

int runStationDemo() {
#if !defined(DWL_CLI_WITH_SERIAL) || !defined(DWL_CLI_WITH_RESULTS) ||                             \
    !defined(DWL_CLI_WITH_HANDSET_PROGRAM)
    fprintf(stderr, "dwl demo --station: this build has no production station\n");
    return dwlcli::kExitInternal;
#else
    const std::string examples = dwlcli::findExamplesDir();
    const std::string program = dwlcli::handsetProgram();
    if (examples.empty() || program.empty()) {
        fprintf(stderr, "dwl: the samples or dwl-handset-sim are missing; install dwl or set "
                        "DWL_SOURCE_DIR to the source tree\n");
        return dwlcli::kExitInternal;
    }
    char folder[] = "/tmp/dwl-station-demo-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        fprintf(stderr, "dwl: cannot make a temporary folder: %s\n", strerror(errno));
        return dwlcli::kExitInternal;
    }
    dwlcli::StationRequest request;
    request.run.workdir = examples;
    request.run.bin = examples + "/sample.bin";
    request.run.speed = "460800";
    request.results = std::string(folder) + "/results.sqlite";
    request.station = "demo";
    std::vector<std::unique_ptr<dwlcli::HandsetProcess>> handsets;
    for (const auto& fault : a_DemoFaults) {
        std::vector<std::string> args = {"--flash",    examples + "/flash.txt",
                                         "--sessions", std::to_string(kDemoHandsetsPerPort),
                                         "--gap",      "1"};
        if (fault[0] != nullptr) {
            args.insert(args.end(), {fault[0], fault[1], "--fail-sessions",
                                     std::string(fault[0]) == "--wrong-reply" ? "2" : "1"});
        }
        handsets.push_back(std::make_unique<dwlcli::HandsetProcess>());
        std::string why;
        if (!handsets.back()->start(program, args, 10000, &why)) {
            fprintf(stderr, "dwl: %s\n", why.c_str());
            return dwlcli::kExitInternal;
        }
        request.run.ports.push_back(handsets.back()->device());
    }
    printf("dwl demo: a station of 4 ports, 2 emulated handsets on each, sample.bin at 460800 "
           "baud;\ndwl demo: one handset fails, one has a sector sent again; results in %s\n",
           request.results.c_str());
    fflush(stdout);
    dwlcli::StationSettings settings;
    int status = dwlcli::prepareStation(request, &settings);
    if (status == 0) {
        settings.stopAfterRuns = kDemoHandsetsPerPort * 4;
        status = dwlcli::runStation(settings);
    }
    for (auto& h : handsets)
        h->stop();
    dwlcli::ResultsDb db;
    std::vector<dwlcli::StoredRun> runs;
    std::string why;
    if (status == 0 && db.openForReading(request.results, &why) &&
        db.select(dwlcli::RunFilter{}, &runs, &why))
        printf("\ndwl results --db %s\n%s", request.results.c_str(),
               dwlcli::resultsReport(request.results, dwlcli::RunFilter{}, runs).c_str());
    return status;
#endif
}

} // namespace

namespace dwlcli {

void setupDemo(CLI::App& dwl, int& exitStatus) {
    CLI::App* demo = dwl.add_subcommand(
        "demo", "Flash the sample images into the emulated handset on a pseudo-terminal");
    auto json = std::make_shared<bool>(false);
    auto station = std::make_shared<bool>(false);
    demo->add_flag("--json", *json, "print one JSON summary on stdout");
#if defined(DWL_CLI_WITH_SERIAL) && defined(DWL_CLI_WITH_RESULTS) &&                               \
    defined(DWL_CLI_WITH_HANDSET_PROGRAM)
    demo->add_flag("--station", *station,
                   "a short production station instead: 4 ports, 2 emulated handsets on each");
#endif
    demo->callback([json, station, &exitStatus]() {
        exitStatus = *station ? runStationDemo() : runDemo(*json);
    });
}

} // namespace dwlcli

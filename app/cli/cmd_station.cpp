// A build that records runs (results, station) has this command; others leave it out.
#ifdef DWL_CLI_WITH_RESULTS
// dwl station: a production station. Every port given loops over the handsets plugged into it,
// flashes each, records every run in the results database and shows PASS or FAIL.
#include "app/cli/cli_registry.h"
#include "app/cli/port_fanout.h"
#include "app/results/results_db.h"
#include "app/results/results_journal.h"
#include "app/results/results_server.h"
#include "app/run/exit_status.h"
#include "app/run/operator_session.h"
#include "app/station/station.h"
#include "app/station/station_command.h"
#include "app/station/station_signals.h"

#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "session/dwl_context.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace dwlcli {

namespace {

// The settings work before any port starts: the panel takes them and the bootstrap is there.
int checkOnThePanel(const RunSettings& settings, StationStart* start) {
    FILE* quiet = fopen(kNullDevice, "w");
    int rc = 0;
    {
        OperatorSession session(settings, nullptr, quiet != nullptr ? quiet : stderr);
        rc = session.prepare(true);
        if (rc == 0) {
            std::vector<uint8_t> image(DWL_SPM_BUFFER_SIZE);
            uint32_t length = 0;
            if (dwl12_4LoadSpmFile(&length, image.data(), sg_DownloadContext.ProductType) != 1) {
                fprintf(stderr, "dwl: LIB_PC : File not found: %s\n",
                        dwl12_9SpmProblem(sg_DownloadContext.ProductType).c_str());
                rc = kExitPcSide;
            }
            const RunReport& report = session.describe();
            start->mode = report.mode;
            start->baud = report.baud;
            start->images = report.images;
        }
    }
    if (quiet != nullptr) fclose(quiet);
    return rc;
}

int runStationCommand(const StationRequest& request) {
    StationSettings settings;
    if (int rc = prepareStation(request, &settings); rc != 0) return rc;
    return runStation(settings);
}

} // namespace

int prepareStation(const StationRequest& request, StationSettings* out) {
    if (request.run.ports.empty()) {
        fprintf(stderr, "dwl: station: give the ports with --port\n");
        return kExitUsage;
    }
    StationSettings s;
    s.jsonLines = request.jsonLines;
    s.start.station = request.station.empty() ? hostName() : request.station;
    std::error_code ec;
    // A server address: the runs go to results.sqlite first, and from there to the server.
    if (isServerAddress(request.results) && !serverForwardingInBuild()) {
        fprintf(stderr, "dwl: %s\n", serverForwardingMissing().c_str());
        return kExitUsage;
    }
    if (isServerAddress(request.results)) s.resultsServer = request.results;
    const std::string results =
        request.results.empty() || !s.resultsServer.empty() ? kDefaultResultsFile : request.results;
    const std::filesystem::path resultsPath = std::filesystem::absolute(results, ec);
    s.start.results = ec ? results : resultsPath.lexically_normal().string();
    for (size_t i = 0; i < request.run.ports.size(); i++) {
        StationPortSettings port;
        if (int rc = resolveRun(request.run, i, RUN_FLASH, &port.run); rc != 0) return rc;
        const PortChoice& choice = port.run.port;
        port.label.port = portName(choice);
        port.label.device = choice.device.empty() ? dwl_ComDevicePath(choice.com) : choice.device;
        for (const StationPortSettings& other : s.ports)
            if (samePortDevice(other.run.port, port.run.port)) {
                fprintf(stderr, "dwl: %s\n", givenTwice(other.run.port, port.run.port).c_str());
                return kExitUsage;
            }
        port.station = s.start.station;
        port.resultsFile = s.start.results;
        if (!request.logFile.empty())
            port.logFile = perPortLogFile(request.logFile, port.label.port);
        s.start.ports.push_back(port.label.port);
        s.ports.push_back(port);
    }
    // A port's process started again (Windows) takes the settings as the station checked them.
    if (StationSignals::portOfThisProcess() >= 0) {
        *out = s;
        return 0;
    }
    {
        ResultsDb db;
        std::string why;
        // A file whose pages are damaged would refuse every run: refused before the first.
        if (!db.openForWriting(s.start.results, &why) || !db.checkPages(&why)) {
            fprintf(stderr, "dwl: cannot record runs in %s: %s\n", s.start.results.c_str(),
                    why.c_str());
            return kExitNoInput;
        }
        // The runs that waited in the journal since the last time go in first.
        long long waiting = 0;
        if (!journalReplay(s.start.results, &db, &waiting, &why)) {
            fprintf(stderr, "dwl: %lld finished run%s still wait in %s: %s\n", waiting,
                    waiting == 1 ? "" : "s", journalPath(s.start.results).c_str(), why.c_str());
            s.journalError = why;
        }
    }
    if (int rc = checkOnThePanel(s.ports.front().run, &s.start); rc != 0) return rc;
    *out = s;
    return 0;
}

void setupStation(CLI::App& dwl, int& exitStatus) {
    CLI::App* c = dwl.add_subcommand(
        "station", "Production station: every port flashes handset after handset (plug in, "
                   "switch on, PASS or FAIL, next), every run recorded in an SQLite file or on a "
                   "PostgreSQL server");
    auto r = std::make_shared<StationRequest>();
    c->add_option("--port,-p", r->run.ports,
                  "COM number 1-4 or device path; repeat it for every port of the station")
        ->required();
    c->add_option("--bin", r->run.bin, "binary image (*.bin)");
    c->add_option("--ogm", r->run.ogm, "ogm image (*.ogm)");
    c->add_option("--tfs", r->run.tfs, "TFS ogm image (*.tfs)");
    c->add_option("--mode,-m", r->run.mode,
                  "download mode: number or name (" + modeList() + "); default: the images given");
    c->add_option("--speed,-s", r->run.speed,
                  "link speed: index 0-8 or baud rate (" + speedList() + "); default 460800");
    c->add_option("--model", r->run.model, "handset model 0-2 (places the ogm image); default 1");
    c->add_option("--config", r->run.config, "settings file to restore (config.txt format)");
    c->add_option("--workdir,-C", r->run.workdir,
                  "folder holding flash.txt, dwl87.spm and dwl88.spm; default: the current one");
    c->add_option("--results", r->results,
                  std::string("where the runs are recorded: the SQLite results file (default ") +
                      kDefaultResultsFile +
                      " in the current folder), or the line's results server as a "
                      "postgresql://USER@HOST/DB address (the runs then go to " +
                      kDefaultResultsFile + " first and on from there)");
    c->add_option("--station", r->station,
                  "the station's name in the records; default the "
                  "host name");
    c->add_option("--log", r->logFile,
                  "append each run's operator log to FILE.<port>, one file per port");
    c->add_flag("--json-lines", r->jsonLines,
                "one JSON object per line on standard output for every event of the station");
    c->callback([r, &exitStatus]() { exitStatus = runStationCommand(*r); });
}

} // namespace dwlcli

#endif // DWL_CLI_WITH_RESULTS

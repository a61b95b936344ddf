#include "app/cli/run_command.h"

#include "app/cli/line_report.h"
#include "app/cli/port_fanout.h"
#include "app/run/exit_status.h"
#include "app/run/operator_session.h"
#ifdef DWL_CLI_WITH_RESULTS
#include "app/results/run_recorder_db.h"
#endif
#include "app/cli/run_signals.h"
#include "app/run/run_log.h"
#include "app/run/run_recorder.h"

#include "link/rs232_cancel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dwlcli {

namespace {

// The panel's part of a run: start-up, the settings, the command. A signal received before the
// command begins stops the run with nothing sent; one received during it ends it at its next
// wait, as the GUI's Stop does.
RunReport runOnPanel(const RunSettings& settings, RunCommand kind, RunLog* log) {
    OperatorSession session(settings, log);
    int status = session.prepare(kind == RUN_FLASH);
    const bool ran = status == 0 && RunSignals::received() == 0;
    if (ran) {
        switch (kind) {
        case RUN_FLASH: status = session.flash(); break;
        case RUN_BOOT: status = session.bootOnly(); break;
        case RUN_FORMAT: status = session.format(); break;
        }
    }
    RunReport report = session.report();
    report.exitStatus = status;
    const int signal = RunSignals::received();
    if (signal != 0 && (ran ? rs232_Cancelled() : status == 0)) {
        if (!ran) {
            report.result = ReadResult{};
            report.result.message = "stopped before the run began: nothing was sent";
        }
        report.exitStatus = RunSignals::exitStatus(signal);
        // A boot writes nothing to the flash, nor does a run stopped before its first sector.
        bool flashTouched = kind == RUN_FORMAT || (kind == RUN_FLASH && report.bytesWritten > 0);
        for (const SectorReport& sector : report.sectors)
            flashTouched = flashTouched || sector.tries > 0;
        const char kCancelled[] = "Download cancelled by the operator.";
        if (!flashTouched && report.result.message.rfind(kCancelled, 0) == 0)
            report.result.message = std::string(kCancelled) + " Nothing was written to the flash.";
        fprintf(stderr, "dwl: %s: the run was stopped; %s\n", RunSignals::name(signal),
                flashTouched ? "the flash may be partly written"
                             : "nothing was written to the flash");
    }
    // While the session still holds the line's last bytes.
    if (report.exitStatus != 0) printLineReport(stderr);
    return report;
}

// The end of the log file: the resent sectors and the result line. False when the file could
// not be written whole (the reason printed).
bool closeLog(RunLog& log, const RunReport& report) {
    if (!log.isOpen()) return true;
    for (const std::string& line : resentSectorLines(report))
        log.line(line);
    log.line(logResultLine(report));
    const int error = log.close();
    if (error == 0) return true;
    fprintf(stderr, "dwl: the log %s is incomplete: %s\n", log.path().c_str(), strerror(error));
    return false;
}

// The record of the run, when this build records runs and the settings name a results file.
std::unique_ptr<RunRecorder> recorderFor(const RunSettings& settings) {
#ifdef DWL_CLI_WITH_RESULTS
    return makeResultsRecorder(settings);
#else
    (void)settings;
    return nullptr;
#endif
}

} // namespace

int runOnePort(const RunSettings& settings, RunCommand kind) {
#ifndef DWL_CLI_WITH_SERIAL
    if (!settings.sim) {
        fprintf(stderr, "dwl: this build has no serial port support (no backend for this system); "
                        "use --sim for the emulated handset\n");
        return kExitInternal;
    }
#endif
    RunLog log;
    if (!settings.logFile.empty() && !log.open(settings.logFile)) {
        fprintf(stderr, "dwl: cannot write %s: %s\n", settings.logFile.c_str(), strerror(errno));
        return kExitNoInput;
    }
    // The results database is checked before the handset is touched.
    const std::unique_ptr<RunRecorder> recorder = recorderFor(settings);
    if (int rc = recorder ? recorder->open() : 0; rc != 0) return rc;
    if (int rc = startLineTrace(settings); rc != 0) return rc;
    if (recorder) recorder->started();
    RunReport report = runOnPanel(settings, kind, log.isOpen() ? &log : nullptr);
    if (recorder) recorder->ended();

    // A run that succeeded but whose record is incomplete says so in its status; a failure's
    // own status stands.
    const auto recordLost = [&report]() {
        if (report.exitStatus == kExitSuccess) report.exitStatus = kExitRecordLost;
    };
    if (!stopLineTrace(settings)) recordLost();
    if (recorder && !recorder->record(report)) recordLost();
    if (settings.json) {
        if (!writeJsonReport(stdout, report)) {
            fprintf(stderr, "dwl: the JSON summary could not be written: %s\n", strerror(errno));
            recordLost();
        }
    } else {
        if (report.exitStatus == 0 && report.bytesWritten > 0 && report.elapsedSeconds > 0)
            printf("elapsed: %.1f s, %llu bytes, %.0f B/s\n", report.elapsedSeconds,
                   static_cast<unsigned long long>(report.bytesWritten),
                   static_cast<double>(report.bytesWritten) / report.elapsedSeconds);
        printf("%s\n", resultLine(report).c_str());
        fflush(stdout);
    }
    // Last, so that its result line tells the status the program ends with.
    if (!closeLog(log, report)) recordLost();
    return report.exitStatus;
}

int runDownloadCommand(const RunRequest& request, RunCommand kind) {
    const RunSignals signals;
    if (request.ports.size() <= 1) {
        RunSettings settings;
        if (int rc = resolveRun(request, 0, kind, &settings); rc != 0) return rc;
        return runOnePort(settings, kind);
    }
    // Every port is checked before any handset is touched.
    std::vector<RunSettings> all(request.ports.size());
    std::vector<std::string> names;
    for (size_t i = 0; i < request.ports.size(); i++) {
        if (int rc = resolveRun(request, i, kind, &all[i]); rc != 0) return rc;
        for (size_t j = 0; j < i; j++)
            if (samePortDevice(all[j].port, all[i].port)) {
                fprintf(stderr, "dwl: %s\n", givenTwice(all[j].port, all[i].port).c_str());
                return kExitUsage;
            }
        names.push_back(portName(all[i].port));
        if (!all[i].logFile.empty()) all[i].logFile = perPortLogFile(all[i].logFile, names.back());
        if (!all[i].traceFile.empty())
            all[i].traceFile = perPortLogFile(all[i].traceFile, names.back());
    }
    return fanOut(names, request.json, [&](size_t i) { return runOnePort(all[i], kind); });
}

} // namespace dwlcli

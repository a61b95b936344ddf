#include "app/cli/run_command.h"

#include "app/cli/exit_status.h"
#include "app/cli/line_report.h"
#include "app/cli/operator_session.h"
#include "app/cli/port_fanout.h"

#include "link/rs232_cancel.h"

#include <csignal>
#include <cstdio>

namespace dwlcli {

namespace {
// Ctrl-C ends the run at its next wait on the line, as the GUI's Stop does; the run then closes
// its port and reports that it was cancelled.
void cancelRun(int) {
    rs232_Cancel();
}

struct CancelOnInterrupt {
    CancelOnInterrupt() { previous = std::signal(SIGINT, cancelRun); }
    ~CancelOnInterrupt() { std::signal(SIGINT, previous); }
    void (*previous)(int);
};
} // namespace

int runOnePort(const RunSettings& settings, RunCommand kind) {
#ifndef DWL_CLI_WITH_SERIAL
    if (!settings.sim) {
        fprintf(stderr, "dwl: this build has no serial port support (no backend for this system); "
                        "use --sim for the emulated handset\n");
        return kExitInternal;
    }
#endif
    int status = 0;
    RunReport report;
    if (int rc = startLineTrace(settings); rc != 0) return rc;
    {
        const CancelOnInterrupt interrupt;
        OperatorSession session(settings);
        status = session.prepare(kind == RUN_FLASH);
        if (status == 0) {
            switch (kind) {
            case RUN_FLASH: status = session.flash(); break;
            case RUN_BOOT: status = session.bootOnly(); break;
            case RUN_FORMAT: status = session.format(); break;
            }
        }
        if (rs232_Cancelled()) status = kExitCancelled;
        report = session.report();
        report.exitStatus = status;
    }
    dwl12_TraceStop();
    if (status != 0) printLineReport(stderr);
    if (settings.json) {
        writeJsonReport(stdout, report);
    } else {
        if (status == 0 && report.bytesWritten > 0 && report.elapsedSeconds > 0)
            printf("elapsed: %.1f s, %llu bytes, %.0f B/s\n", report.elapsedSeconds,
                   static_cast<unsigned long long>(report.bytesWritten),
                   static_cast<double>(report.bytesWritten) / report.elapsedSeconds);
        printf("%s\n", resultLine(report).c_str());
        fflush(stdout);
    }
    return status;
}

int runDownloadCommand(const RunRequest& request, RunCommand kind) {
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
        for (const std::string& n : names)
            if (n == portName(all[i].port)) {
                fprintf(stderr, "dwl: port %s is given twice\n", n.c_str());
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

#include "app/cli/line_report.h"

#include "app/run/exit_status.h"
#include "link/line_step.h"

#include <cerrno>
#include <cstring>

namespace dwlcli {

namespace {

void printBytes(FILE* out, const char* direction, bool toHandset) {
    uint8_t bytes[DWL_LAST_BYTES];
    const int n = dwl12_LastLineBytes(toHandset, bytes, DWL_LAST_BYTES);
    fprintf(out, "dwl: last %d bytes %s:", n, direction);
    for (int i = 0; i < n; ++i)
        fprintf(out, " %02X", bytes[i]);
    fputc('\n', out);
}

} // namespace

int startLineTrace(const RunSettings& settings) {
    if (settings.traceFile.empty()) return 0;
    if (dwl12_TraceStart(settings.traceFile.c_str(), false, settings.traceFull) != 0) {
        fprintf(stderr, "dwl: cannot write the trace %s: %s\n", settings.traceFile.c_str(),
                strerror(errno));
        return kExitNoInput;
    }
    return 0;
}

bool stopLineTrace(const RunSettings& settings) {
    const int error = dwl12_TraceStop();
    if (error == 0 || settings.traceFile.empty()) return true;
    fprintf(stderr, "dwl: the trace %s is incomplete: %s\n", settings.traceFile.c_str(),
            strerror(error));
    return false;
}

void printLineReport(FILE* out) {
    char step[128];
    dwl12_FormatLineStep(step, sizeof step);
    uint8_t probe[1];
    const bool sent = dwl12_LastLineBytes(true, probe, 1) > 0;
    const bool received = dwl12_LastLineBytes(false, probe, 1) > 0;
    if (!sent && !received && std::strcmp(step, "-") == 0) return;
    fprintf(out, "dwl: the run stopped at step: %s\n", step);
    printBytes(out, "PC>HS", true);
    printBytes(out, "HS>PC", false);
    fflush(out);
}

} // namespace dwlcli

// The stops' exit statuses and names; installing their handlers is the system's
// (platform/<system>/cli/run_signals.cpp).
#include "app/cli/run_signals.h"

#include "app/run/exit_status.h"

namespace dwlcli {

int RunSignals::exitStatus(int signal) {
    switch (signal) {
    case kStopHangUp: return kExitHangUp;
    case kStopTerminate: return kExitTerminated;
    default: return kExitCancelled;
    }
}

const char* RunSignals::name(int signal) {
    switch (signal) {
    case kStopHangUp: return "SIGHUP";
    case kStopTerminate: return "SIGTERM";
    default: return "SIGINT";
    }
}

} // namespace dwlcli

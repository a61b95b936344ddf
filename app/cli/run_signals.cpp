#include "app/cli/run_signals.h"

#include "app/cli/exit_status.h"
#include "link/rs232_cancel.h"

#include <csignal>

namespace dwlcli {

namespace {

constexpr int a_StopSignals[RunSignals::kStopSignalCount] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in a global.
volatile sig_atomic_t mv_ReceivedSignal = 0;

void stopRun(int signal) {
    if (mv_ReceivedSignal == 0) mv_ReceivedSignal = signal;
    rs232_Cancel();
}

} // namespace

RunSignals::RunSignals(bool secondEnds) {
    mv_ReceivedSignal = 0;
    struct sigaction action {};
    action.sa_handler = stopRun;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep the run's own reads and writes whole.
    action.sa_flags = SA_RESTART | (secondEnds ? SA_RESETHAND : 0);
    for (int i = 0; i < kStopSignalCount; i++)
        sigaction(a_StopSignals[i], &action, &previousStop_[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previousPipe_);
}

RunSignals::~RunSignals() {
    for (int i = 0; i < kStopSignalCount; i++)
        sigaction(a_StopSignals[i], &previousStop_[i], nullptr);
    sigaction(SIGPIPE, &previousPipe_, nullptr);
}

int RunSignals::received() {
    return mv_ReceivedSignal;
}

int RunSignals::exitStatus(int signal) {
    switch (signal) {
    case SIGHUP: return kExitHangUp;
    case SIGTERM: return kExitTerminated;
    default: return kExitCancelled;
    }
}

const char* RunSignals::name(int signal) {
    switch (signal) {
    case SIGHUP: return "SIGHUP";
    case SIGTERM: return "SIGTERM";
    default: return "SIGINT";
    }
}

} // namespace dwlcli

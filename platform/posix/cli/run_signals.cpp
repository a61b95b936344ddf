// SIGINT, SIGTERM and SIGHUP as the command line's stops; SIGPIPE ignored.
#include "app/cli/run_signals.h"

#include "link/rs232_cancel.h"

#include <csignal>

namespace dwlcli {

static_assert(kStopHangUp == SIGHUP && kStopInterrupt == SIGINT && kStopTerminate == SIGTERM);

namespace {

constexpr int kStopSignalCount = 3;
constexpr int a_StopSignals[kStopSignalCount] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in a global.
volatile sig_atomic_t mv_ReceivedSignal = 0;

void stopRun(int signal) {
    if (mv_ReceivedSignal == 0) mv_ReceivedSignal = signal;
    rs232_Cancel();
}

} // namespace

struct RunSignals::Previous {
    struct sigaction stop[kStopSignalCount];
    struct sigaction pipe;
};

RunSignals::RunSignals(bool secondEnds) : previous_(std::make_unique<Previous>()) {
    mv_ReceivedSignal = 0;
    struct sigaction action {};
    action.sa_handler = stopRun;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep the run's own reads and writes whole.
    action.sa_flags = SA_RESTART | (secondEnds ? SA_RESETHAND : 0);
    for (int i = 0; i < kStopSignalCount; i++)
        sigaction(a_StopSignals[i], &action, &previous_->stop[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_->pipe);
}

RunSignals::~RunSignals() {
    for (int i = 0; i < kStopSignalCount; i++)
        sigaction(a_StopSignals[i], &previous_->stop[i], nullptr);
    sigaction(SIGPIPE, &previous_->pipe, nullptr);
}

int RunSignals::received() {
    return mv_ReceivedSignal;
}

bool consoleMadeForProgram() {
    return false;
}

void waitForKeyBeforeClosing() {}

} // namespace dwlcli

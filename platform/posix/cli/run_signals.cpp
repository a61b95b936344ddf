// SIGINT, SIGTERM and SIGHUP as the command line's stops; SIGPIPE ignored.
#include "app/cli/run_signals.h"

#include "link/rs232_cancel.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace dwlcli {

static_assert(kStopHangUp == SIGHUP && kStopInterrupt == SIGINT && kStopTerminate == SIGTERM);

namespace {

constexpr int kStopSignalCount = 3;
constexpr int a_StopSignals[kStopSignalCount] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in a global.
volatile sig_atomic_t mv_ReceivedSignal = 0;
// Seconds the program has after the first stop to end in order.
volatile sig_atomic_t mv_GraceSeconds = 0;

// The run did not end in time after a stop: something blocks that no cancel reaches (a file
// that does not answer, an output nobody reads). The program ends as it is.
void endBlocked(int) {
    const int signal = mv_ReceivedSignal;
    const char* text = signal == SIGHUP    ? "dwl: SIGHUP: the run did not end in time; ended\n"
                       : signal == SIGTERM ? "dwl: SIGTERM: the run did not end in time; ended\n"
                                           : "dwl: SIGINT: the run did not end in time; ended\n";
    const ssize_t ignored = write(STDERR_FILENO, text, strlen(text));
    (void)ignored;
    _exit(RunSignals::exitStatus(signal));
}

void stopRun(int signal) {
    // Only the first stop counts: a second, however soon, leaves the run to end in order (its
    // log, summary and result written, its port and lock released).
    if (mv_ReceivedSignal != 0) return;
    mv_ReceivedSignal = signal;
    rs232_Cancel();
    alarm(static_cast<unsigned>(mv_GraceSeconds));
}

} // namespace

struct RunSignals::Previous {
    struct sigaction stop[kStopSignalCount];
    struct sigaction pipe;
    struct sigaction alarm;
};

RunSignals::RunSignals(bool secondEnds) : previous_(std::make_unique<Previous>()) {
    mv_ReceivedSignal = 0;
    // A port process of a run of several ports gets its stop forwarded and has the shorter
    // time, so that the process gathering their summaries outlives it.
    mv_GraceSeconds = secondEnds ? kStopGraceSeconds + 2 : kStopGraceSeconds;
    struct sigaction action {};
    action.sa_handler = stopRun;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep the run's own reads and writes whole.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kStopSignalCount; i++)
        sigaction(a_StopSignals[i], &action, &previous_->stop[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_->pipe);
    struct sigaction watchdog {};
    watchdog.sa_handler = endBlocked;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, &previous_->alarm);
}

RunSignals::~RunSignals() {
    alarm(0);
    // After a stop the program is ending: a later stop (a second press that came late) must not
    // kill it between its record and its exit, so the stops stay taken.
    if (mv_ReceivedSignal == 0)
        for (int i = 0; i < kStopSignalCount; i++)
            sigaction(a_StopSignals[i], &previous_->stop[i], nullptr);
    sigaction(SIGPIPE, &previous_->pipe, nullptr);
    sigaction(SIGALRM, &previous_->alarm, nullptr);
}

int RunSignals::received() {
    return mv_ReceivedSignal;
}

bool consoleMadeForProgram() {
    return false;
}

void waitForKeyBeforeClosing() {}

} // namespace dwlcli

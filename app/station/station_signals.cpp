#include "app/station/station_signals.h"

namespace dwlcli {

namespace {

constexpr int a_Signals[3] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in globals.
volatile sig_atomic_t mv_Interrupts = 0;
volatile sig_atomic_t mv_Terminated = 0;

void onSignal(int signal) {
    if (signal == SIGINT)
        mv_Interrupts = mv_Interrupts + 1;
    else
        mv_Terminated = 1;
}

} // namespace

StationSignals::StationSignals() {
    mv_Interrupts = 0;
    mv_Terminated = 0;
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : a_Signals)
        sigaddset(&stop, s);
    sigprocmask(SIG_BLOCK, &stop, &waitMask_);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; i++)
        sigaction(a_Signals[i], &action, &previous_[i]);
    // A closed output pipe must not end the station: its writes fail instead.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_[3]);
}

StationSignals::~StationSignals() {
    restoreInChild();
    sigprocmask(SIG_SETMASK, &waitMask_, nullptr);
}

void StationSignals::restoreInChild() const {
    for (int i = 0; i < 3; i++)
        sigaction(a_Signals[i], &previous_[i], nullptr);
    sigaction(SIGPIPE, &previous_[3], nullptr);
}

int StationSignals::interrupts() {
    return mv_Interrupts;
}

bool StationSignals::terminated() {
    return mv_Terminated != 0;
}

} // namespace dwlcli

#include "app/station/port_stop_signals.h"

#include "link/rs232_cancel.h"

#include <csignal>

namespace dwlcli {

namespace {

constexpr int a_Signals[3] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in globals.
volatile sig_atomic_t mv_Interrupts = 0; // SIGINTs received
volatile sig_atomic_t mv_Cancel = 0;     // SIGTERM, SIGHUP or a second SIGINT
volatile sig_atomic_t mv_InRun = 0;

void onSignal(int signal) {
    if (signal == SIGINT && mv_Interrupts == 0) {
        mv_Interrupts = 1;
        // A wait for a handset ends now; a run goes on to its end.
        if (mv_InRun == 0) rs232_Cancel();
        return;
    }
    mv_Cancel = 1;
    rs232_Cancel();
}

} // namespace

struct PortStopSignals::Saved {
    struct sigaction previous[3];
};

PortStopSignals::PortStopSignals() : saved_(std::make_unique<Saved>()) {
    mv_Interrupts = 0;
    mv_Cancel = 0;
    mv_InRun = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t stops;
    sigemptyset(&stops);
    for (int i = 0; i < 3; i++) {
        sigaction(a_Signals[i], &action, &saved_->previous[i]);
        sigaddset(&stops, a_Signals[i]);
    }
    // Blocked by the station until now: a stop that came meanwhile arrives here.
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

PortStopSignals::~PortStopSignals() {
    for (int i = 0; i < 3; i++)
        sigaction(a_Signals[i], &saved_->previous[i], nullptr);
}

void PortStopSignals::runBegins() {
    mv_InRun = 1;
}

void PortStopSignals::runEnds() {
    mv_InRun = 0;
}

bool PortStopSignals::stopRequested() {
    return mv_Interrupts > 0 || mv_Cancel != 0;
}

bool PortStopSignals::cancelRequested() {
    return mv_Cancel != 0;
}

} // namespace dwlcli

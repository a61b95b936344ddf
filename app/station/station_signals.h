// The signals of a production station's own process: each SIGINT (Ctrl-C) is counted; the first
// is passed on to every port process (the runs in progress finish), the second as SIGTERM (they
// are cancelled); SIGTERM and SIGHUP cancel them. The signals are blocked except while the station
// sleeps in ppoll() with waitMask(), so that none slips in between a look and the sleep.
#pragma once

#include <csignal>

namespace dwlcli {

class StationSignals {
  public:
    StationSignals();
    ~StationSignals();
    StationSignals(const StationSignals&) = delete;
    StationSignals& operator=(const StationSignals&) = delete;

    // SIGINTs received so far.
    static int interrupts();
    // SIGTERM or SIGHUP received.
    static bool terminated();
    // The mask to sleep with: the signals let through.
    const sigset_t* waitMask() const { return &waitMask_; }
    // For a port process after fork(): the signals' dispositions as they were before; they
    // stay blocked until the port's own handlers are in place (port_stop_signals.h).
    void restoreInChild() const;

  private:
    struct sigaction previous_[4];
    sigset_t waitMask_;
};

} // namespace dwlcli

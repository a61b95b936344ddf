// The signals of a station's port process. SIGINT (the station's first Ctrl-C) ends a wait for
// a handset at once but lets a run in progress finish; SIGTERM (its second Ctrl-C, or its own
// SIGTERM or SIGHUP), SIGHUP or a second SIGINT cancel the run in progress too: it ends at its
// next wait on the line. The station's death sends SIGTERM. (On Windows the station's stops
// come as those numbers in bytes on standard input, and its end as the input's end:
// platform/windows/station.)
#pragma once

#include <memory>

namespace dwlcli {

class PortStopSignals {
  public:
    PortStopSignals();
    ~PortStopSignals();
    PortStopSignals(const PortStopSignals&) = delete;
    PortStopSignals& operator=(const PortStopSignals&) = delete;

    // A handset answered: from now on a first SIGINT lets the run finish.
    static void runBegins();
    // The run is over: a SIGINT ends the next wait at once.
    static void runEnds();
    // The port is to stop once the run in progress, if any, is over.
    static bool stopRequested();
    // The run in progress is to be cancelled.
    static bool cancelRequested();

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

} // namespace dwlcli

// The signals of a station's port process. The station forwards each SIGINT it gets: the first
// ends a wait for a handset at once but lets a run in progress finish; the second cancels the
// run in progress too (it ends at its next wait on the line). SIGTERM and SIGHUP cancel at
// once, and so does the station's death (the port process gets SIGTERM then).
#pragma once

#include <csignal>

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
    struct sigaction previous_[3];
};

} // namespace dwlcli

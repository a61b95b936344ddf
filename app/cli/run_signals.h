// The signals a download command answers. Ctrl-C (SIGINT), SIGTERM and SIGHUP end the run as the
// GUI's Stop does: at its next wait on the line, with the port closed, the log, the summary and
// the result written; a second one of them ends the program at once. A closed output pipe or a
// terminal that went away raise no SIGPIPE: those writes fail and the run goes on.
#pragma once

#include <csignal>

namespace dwlcli {

class RunSignals {
  public:
    // SIGINT, SIGTERM, SIGHUP.
    static constexpr int kStopSignalCount = 3;

    // Installs the handlers and forgets any signal received before. secondEnds: a second signal
    // ends the program at once (a run of several ports forwards the signal to each port's
    // process, which may have had it from the terminal already: there it is not).
    explicit RunSignals(bool secondEnds = true);
    // Puts back the dispositions found.
    ~RunSignals();
    RunSignals(const RunSignals&) = delete;
    RunSignals& operator=(const RunSignals&) = delete;

    // The first of the three signals received while installed; 0 when none.
    static int received();
    // The exit status of a run it stopped: 128 + the signal's number (130, 143, 129).
    static int exitStatus(int signal);
    // "SIGINT", "SIGTERM", "SIGHUP".
    static const char* name(int signal);

  private:
    struct sigaction previousStop_[kStopSignalCount];
    struct sigaction previousPipe_;
};

} // namespace dwlcli

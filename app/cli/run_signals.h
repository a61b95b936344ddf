// The stop requests a download command answers. Ctrl-C (SIGINT), SIGTERM and SIGHUP end the run
// as the GUI's Stop does: at its next wait on the line, with the port closed, the log, the
// summary and the result written. On POSIX systems a second one changes nothing, and a program
// that has not ended kStopGraceSeconds after the first (something blocks that no cancel
// reaches) ends there with the stop's status; on Windows a second one ends it at once. A closed
// output pipe or a terminal that went away raise no SIGPIPE: those writes fail and the run goes on.
// Each system delivers them its own way (platform/posix/cli: signals; platform/windows/cli: the
// console's Ctrl-C, Ctrl-Break and close events); a stop is known by the number of its POSIX
// signal everywhere, so that the exit statuses are the same.
#pragma once

#include <memory>

namespace dwlcli {

// The stops, by their POSIX signal numbers.
enum StopSignal { kStopHangUp = 1, kStopInterrupt = 2, kStopTerminate = 15 };
// How long a stopped run of one port has to end in order (POSIX); the process gathering the
// ports of a run of several has two seconds more.
constexpr int kStopGraceSeconds = 8;

class RunSignals {
  public:
    // Installs the handlers and forgets any stop received before. secondEnds false: a port's
    // process of a run of several ports, which gets the stop forwarded and may have had it
    // from the terminal already; on Windows a second stop ends only the other processes at
    // once, on POSIX systems these have the shorter grace.
    explicit RunSignals(bool secondEnds = true);
    // Puts back what was installed before.
    ~RunSignals();
    RunSignals(const RunSignals&) = delete;
    RunSignals& operator=(const RunSignals&) = delete;

    // The first stop received while installed (a StopSignal); 0 when none.
    static int received();
    // The exit status of a run it stopped: 128 + the signal's number (130, 143, 129).
    static int exitStatus(int signal);
    // "SIGINT", "SIGTERM", "SIGHUP".
    static const char* name(int signal);

  private:
    // What the system had installed before (platform/<system>/cli/run_signals.cpp).
    struct Previous;
    std::unique_ptr<Previous> previous_;
};

// Whether the program's console was made for it alone (dwl.exe started by a double-click): its
// window closes as the program ends. Never on a system whose programs run in a terminal.
bool consoleMadeForProgram();
// Asks for a key and waits for it, so that such a window stays until it was read.
void waitForKeyBeforeClosing();

} // namespace dwlcli

// What a production station's own process does its system's way (platform/posix/station,
// platform/windows/station): its stops, its port processes, its sleep on their pipes, its
// console.
//
// The stops: each Ctrl-C is counted; the first is passed on to every port process (the runs in
// progress finish), the second as a terminate (they are cancelled); a terminate or hang-up (on
// Windows the console's close, log-off or shut-down) cancels them. On POSIX systems they are
// signals, blocked except while the station sleeps in wait(), so that none slips in between a
// look and the sleep; on Windows they are the console's events, and a port process gets the
// number as a byte on its standard input (link/child_process.h).
#pragma once

#include "link/child_process.h"

#include <csignal>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dwlcli {

// The numbers a station passes on (those of the POSIX signals everywhere).
constexpr int kStationInterrupt = 2;  // SIGINT
constexpr int kStationTerminate = 15; // SIGTERM
constexpr int kStationKill = 9;       // SIGKILL
#ifdef SIGUSR1
constexpr int kSenderNudge = SIGUSR1; // the results sender: try the server now
#else
constexpr int kSenderNudge = 0; // no results sender on this system
#endif

// Bytes read from one of the pipes the station sleeps on; none: the pipe ended (the caller
// closes it).
struct PipeBytes {
    int fd = -1;
    std::string bytes;
};

class StationSignals {
  public:
    StationSignals();
    ~StationSignals();
    StationSignals(const StationSignals&) = delete;
    StationSignals& operator=(const StationSignals&) = delete;

    // Ctrl-Cs received so far.
    static int interrupts();
    // A terminate or hang-up received.
    static bool terminated();

    // Starts port i's process with `options`, in which body runs and gives the exit status
    // (POSIX: forked from this one, its stops as they were before; Windows: this program started
    // again with the same arguments, told its port, which runs runStation again and comes to
    // body through portOfThisProcess; its standard input is a pipe for its stops).
    bool startPort(size_t i, const std::function<int()>& body, ChildOptions options,
                   ChildHandle* child) const;
    // In a port's process started again (Windows): its port; -1 in any other process.
    static int portOfThisProcess();

    // Sleeps until one of the pipes fds has bytes or ended, a stop arrives, or timeoutSeconds
    // pass (< 0: no limit); returns what came.
    std::vector<PipeBytes> wait(const std::vector<int>& fds, double timeoutSeconds) const;

    // Whether standard output is a console that takes the board's cursor movements (on Windows
    // 10 and later one whose virtual-terminal processing this turns on), and its width in
    // columns (0 when unknown).
    static bool boardConsole();
    static size_t consoleWidth();

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

} // namespace dwlcli

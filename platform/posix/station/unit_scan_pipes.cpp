#include "app/station/unit_scan_pipes.h"

#include "app/station/port_stop_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace dwlcli {

bool unitScansInBuild() {
    return true;
}

void holdScanPipe(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool writeScanLine(int fd, const std::string& line) {
    // A line of a scan fits in the pipe whole or not at all (PIPE_BUF).
    return fd >= 0 && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

void takeScansWithoutWaiting() {
    fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
}

bool readScansNow(std::string* into) {
    char buffer[1024];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            into->append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

bool sleepForScan(bool ended) {
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, signal);
    // The stop signals wait while the stop is looked at, and come in only inside the sleep: one
    // that comes in between cannot be slept through.
    sigprocmask(SIG_BLOCK, &stops, &before);
    if (PortStopSignals::stopRequested()) {
        sigprocmask(SIG_SETMASK, &before, nullptr);
        return false;
    }
    // No more scans will come (the station's end of the pipe closed): only a stop ends it.
    pollfd p{STDIN_FILENO, POLLIN, 0};
    ppoll(&p, ended ? 0 : 1, nullptr, &before);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return true;
}

} // namespace dwlcli

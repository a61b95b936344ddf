#include "app/handset_sim/pty_endpoint.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reads every queued inotify event; true when there was one.
bool DrainOpens(int opensFd) {
    alignas(inotify_event) char events[4096];
    bool any = false;
    while (read(opensFd, events, sizeof events) > 0)
        any = true;
    return any;
}

} // namespace

bool SleepUntilOpened(const PtyEndpoint& endpoint, bool earlierCount) {
    if (StopRequested(endpoint)) return false;
    if (DrainOpens(endpoint.opensFd) && earlierCount) return true;
    if (!earlierCount) {
        pollfd m{endpoint.masterFd, 0, 0};
        if (poll(&m, 1, 0) == 0) return true;
    }
    pollfd p[2] = {{endpoint.opensFd, POLLIN, 0}, {endpoint.stopFd, POLLIN, 0}};
    for (;;) {
        const int rc = poll(p, endpoint.stopFd >= 0 ? 2 : 1, -1);
        if (rc < 0 && errno == EINTR) continue;
        if (rc > 0 && (p[1].revents & POLLIN)) return false;
        break;
    }
    DrainOpens(endpoint.opensFd);
    return true;
}

bool WatchStopSignals(PtyEndpoint* endpoint) {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    // Blocked before the descriptor exists: a signal from now on waits there, none is lost.
    if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) return false;
    const int fd = signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) return false;
    endpoint->stopFd = fd;
    return true;
}

bool StopRequested(const PtyEndpoint& endpoint) {
    if (endpoint.stopFd < 0) return false;
    pollfd p{endpoint.stopFd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void DiscardQueuedBytes(const PtyEndpoint& endpoint) {
    tcflush(endpoint.masterFd, TCIFLUSH);
    const int slave = open(endpoint.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return; // the PC has it again, for itself alone
    tcflush(slave, TCIFLUSH);
    close(slave);
}

bool OpenPty(PtyEndpoint* endpoint) {
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        close(fd);
        return false;
    }
    const char* name = ptsname(fd);
    if (!name) {
        close(fd);
        return false;
    }
    // Raw mode for the slave, set through the master.
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B38400);
        cfsetospeed(&t, B38400);
        t.c_cflag |= PARENB | CLOCAL | CREAD;
        tcsetattr(fd, TCSANOW, &t);
    }
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens < 0 || inotify_add_watch(opens, name, IN_OPEN) < 0) {
        const int error = errno;
        if (opens >= 0) close(opens);
        close(fd);
        errno = error;
        return false;
    }
    endpoint->opensFd = opens;
    endpoint->masterFd = fd;
    endpoint->slavePath = name;
    return true;
}

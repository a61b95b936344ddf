#include "app/handset_sim/pty_endpoint.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
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

void SleepUntilOpened(const PtyEndpoint& endpoint, bool earlierCount) {
    if (DrainOpens(endpoint.opensFd) && earlierCount) return;
    if (!earlierCount) {
        pollfd m{endpoint.masterFd, 0, 0};
        if (poll(&m, 1, 0) == 0) return;
    }
    pollfd p{endpoint.opensFd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    DrainOpens(endpoint.opensFd);
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

#include "platform/posix/cancel_pipe.h"

#include "link/cancel_wake.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// One byte in it while the cancel is set.
struct WakePipe {
    int fds[2] = {-1, -1};
    WakePipe() {
        if (pipe(fds) != 0) {
            fds[0] = fds[1] = -1;
            return;
        }
        for (int fd : fds) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
};

WakePipe& wakePipe() {
    static WakePipe instance;
    return instance;
}

// Makes the pipe during static initialisation, so that the signal-handler path never has to.
const int kPipeReady = (wakePipe(), 0);

} // namespace

void dwl_CancelWakeSet() {
    const int fd = wakePipe().fds[1];
    if (fd < 0) return;
    const char byte = 1;
    ssize_t rc = write(fd, &byte, 1); // a full pipe already wakes every poll
    (void)rc;
}

void dwl_CancelWakeClear() {
    const int fd = wakePipe().fds[0];
    if (fd < 0) return;
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

int rs232_CancelFd() {
    (void)kPipeReady;
    return wakePipe().fds[0];
}

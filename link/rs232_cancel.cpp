#include "link/rs232_cancel.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<bool> cancelled{false};

// Wake-up pipe: one byte in it while the cancel is set. Made before main() runs, so that the
// signal-handler path never has to create it.
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

// Forces the pipe into being during static initialisation.
const int kPipeReady = (wakePipe(), 0);

} // namespace

void rs232_Cancel() {
    bool was = cancelled.exchange(true);
    const int fd = wakePipe().fds[1];
    if (!was && fd >= 0) {
        const char byte = 1;
        ssize_t rc = write(fd, &byte, 1); // a full pipe already wakes every poll
        (void)rc;
    }
}

bool rs232_Cancelled() {
    return cancelled.load();
}

void rs232_ClearCancel() {
    cancelled.store(false);
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

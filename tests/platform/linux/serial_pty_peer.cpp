#include "tests/platform/linux/serial_pty_peer.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace ptytest {

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        hangUp();
        return;
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        hangUp();
        return;
    }
    slave_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
    hangUp();
}

void PtyPeer::hangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void PtyPeer::send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        pollfd p{master_, POLLOUT, 0};
        if (poll(&p, 1, 1000) <= 0) break;
    }
}

std::vector<uint8_t> PtyPeer::receive(size_t count, int msecs) {
    std::vector<uint8_t> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
    uint8_t buffer[4096];
    while (master_ >= 0 && got.size() < count) {
        size_t want = std::min(count - got.size(), sizeof buffer);
        ssize_t n = ::read(master_, buffer, want);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return got;
}

PtyPeer::Line PtyPeer::line() const {
    struct termios2 tio {};
    Line l{0, 0, 0, false};
    // Termios requests on the master side act on the slave's settings.
    if (master_ < 0 || ioctl(master_, TCGETS2, &tio) != 0) return l;
    l.outputSpeed = tio.c_ospeed;
    l.inputSpeed = tio.c_ispeed;
    l.cflag = tio.c_cflag;
    l.arbitraryRate = (tio.c_cflag & CBAUD) == BOTHER;
    return l;
}

unsigned long PtyPeer::charSizeMask() {
    return CSIZE;
}
unsigned long PtyPeer::eightBits() {
    return CS8;
}

} // namespace ptytest

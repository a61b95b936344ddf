#include "platform/linux/serial_tty_device.h"

#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "platform/linux/serial_termios2.h"
#include "platform/posix/cancel_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace dwllinux {
namespace {

// An open error that means there is no such device (rather than one that refuses us).
bool deviceMissing(int error) {
    return error == ENOENT || error == ENOTDIR || error == ENODEV || error == ENXIO;
}

// The system's word for a line that polls as failed or hung up: what a read of it says.
std::string lineErrorText(int fd) {
    char byte = 0;
    errno = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return std::strerror(errno);
    return "the line hung up";
}

timespec timespecOf(double seconds) {
    seconds = std::max(seconds, 0.0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    return ts;
}

} // namespace

std::unique_ptr<TtySerialDevice>
TtySerialDevice::open(const std::string& path, const LockFolders& locks, OpenReport* report) {
    OpenReport spare;
    report = dwl_StartOpenReport(path, report, &spare);
    if (report->error != 0) return nullptr;
    // The lock goes by the device itself: a link to it must not get round a lock on it.
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        const int error = errno;
        report->error = deviceMissing(error) ? kRS_NoPortFound : kRS_CanNotOpenPort;
        report->why = std::strerror(error);
        return nullptr;
    }
    const std::string device = resolved;
    std::free(resolved);

    std::unique_ptr<TtySerialDevice> port(new TtySerialDevice);
    if (!port->lock_.take(device, locks, &report->why, &report->takenOver)) {
        report->error = kRS_CanNotOpenPort;
        return nullptr;
    }
    port->fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->fd_ < 0) {
        const int error = errno;
        report->error = deviceMissing(error) ? kRS_NoPortFound : kRS_CanNotOpenPort;
        report->why = error == EBUSY ? "in use by another program" : std::strerror(error);
        return nullptr;
    }
    if (!isTerminal(port->fd_)) {
        report->error = kRS_CanNotOpenPort;
        report->why = "not a serial port";
        return nullptr;
    }
    claimExclusive(port->fd_);
    if (const int error = setLine(port->fd_, kWireOpenBaud, 0, 8, 1); error != 0) {
        report->error = kRS_CanNotOpenPort;
        report->why = std::strerror(error);
        return nullptr;
    }
    port->path_ = path;
    port->pty_ = dwllinux::isPseudoTerminal(port->fd_);
    // A pseudo-terminal shows no output queue and has no wire: the wire clock stands for both.
    port->modelsWire_ = port->pty_;
    port->wire_.setLine(kWireOpenBaud, 0, 8, 1);
    return port;
}

TtySerialDevice::~TtySerialDevice() {
    if (fd_ < 0) return;
    // The kernel lets what it holds for a UART leave before the close. A pseudo-terminal has no
    // such wait: its far end would read the rest after the close, as if it came at the next
    // opening. So unless the far end has answered since, the close waits until it has read what
    // was handed to it.
    if (const double wait = closeWaitSeconds(); wait > 0) {
        timespec left = timespecOf(wait);
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
    releaseExclusive(fd_);
    ::close(fd_);
    // The lock goes once the device is closed.
}

int TtySerialDevice::configure(long baud, int parity, int dataBits, int stopBits) {
    if (fd_ < 0 || lost_) return kRS_PortNotOpen;
    if (baud <= 0 || baud > INT_MAX || dataBits < 5 || dataBits > 8 || stopBits < 1 ||
        stopBits > 2 || parity < 0 || parity > 4)
        return kRS_InvalidParameter;
    if (setLine(fd_, baud, parity, dataBits, stopBits) != 0) return kRS_InvalidParameter;
    // A pseudo-terminal drops parity; the line still works, so only a real port fails here.
    if (parity != 0 && !pty_ && !lineHasParity(fd_)) return kRS_InvalidParameter;
    // An adapter that rounds a rate it knows by a constant too far gets it as an arbitrary rate.
    const long held = lineSpeed(fd_);
    if (held > 0 && !dwl_WireSpeedMatches(held, baud) && !setLineSpeed(fd_, baud))
        return kRS_InvalidParameter;
    wire_.setLine(baud, parity, dataBits, stopBits);
    return 0;
}

void TtySerialDevice::setDtr(bool on) {
    if (fd_ < 0 || lost_) return;
    // A pseudo-terminal has no modem lines: the request fails there and is of no consequence.
    dwllinux::setDtr(fd_, on);
}

void TtySerialDevice::flushIn() {
    if (fd_ >= 0) discardInput(fd_);
}

bool TtySerialDevice::isOpen() const {
    return fd_ >= 0;
}

void TtySerialDevice::discardOutput() {
    dwllinux::discardOutput(fd_);
}

void TtySerialDevice::probeLine() {
    if (lost_ || fd_ < 0) return;
    // A hung-up line (adapter unplugged, far end of a pseudo-terminal closed) polls as hung up
    // without data, for ever.
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return;
    if (p.revents & POLLNVAL)
        markLost(std::strerror(EBADF));
    else if ((p.revents & POLLERR) || ((p.revents & POLLHUP) && !(p.revents & POLLIN)))
        markLost(lineErrorText(fd_));
}

void TtySerialDevice::sleepOnLine(double deadline, bool wantInput) {
    if (lost_ || fd_ < 0) return;
    short events = wantInput ? POLLIN : 0;
    if (ownQueue() > 0) events |= POLLOUT;
    pollfd fds[2] = {{fd_, events, 0}, {rs232_CancelFd(), POLLIN, 0}};
    const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    double wait = deadline - dwl_MonotonicSeconds();
    if (count == 1) wait = std::min(wait, kSerialCancelCheckSeconds);
    const timespec ts = timespecOf(wait);
    // POLLERR and POLLHUP come back whatever was asked: a line that fails wakes the sleep.
    if (ppoll(fds, count, &ts, nullptr) <= 0) return;
    const short r = fds[0].revents;
    if (r & POLLNVAL) {
        markLost(std::strerror(EBADF));
        return;
    }
    if (r & POLLOUT) pumpOutput();
    if ((r & POLLERR) || ((r & POLLHUP) && !(r & POLLIN))) markLost(lineErrorText(fd_));
}

long TtySerialDevice::handOver(const uint8_t* data, long count) {
    for (;;) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(count));
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) markLost(std::strerror(errno));
        return 0;
    }
}

long TtySerialDevice::driverQueue() {
    // A pseudo-terminal hides what the far end has not read yet and has no wire.
    if (pty_) return wire_.queued(dwl_MonotonicSeconds());
    return kernelOutQueue(fd_);
}

long TtySerialDevice::bytesWaiting() {
    return kernelInQueue(fd_);
}

bool TtySerialDevice::quietSlice() {
    return kernelInQueue(fd_) == 0;
}

int TtySerialDevice::readArrived(uint8_t* buffer, int count) {
    int got = 0;
    while (got < count && !lost_) {
        const ssize_t n = ::read(fd_, buffer + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            continue;
        }
        if (n == 0) {
            markLost("the line hung up");
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) markLost(std::strerror(errno));
        break;
    }
    return got;
}

} // namespace dwllinux

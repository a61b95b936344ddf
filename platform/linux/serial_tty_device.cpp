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

// A read waits in slices of this length and calls the port services' wait hook between them.
constexpr double kReadSliceSeconds = 0.05;
// Without a wake-up pipe for the operator's cancel, a sleep looks at the flag this often.
constexpr double kCancelCheckSeconds = 0.05;

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
    OpenReport unused;
    if (!report) report = &unused;
    *report = OpenReport{};
    if (path.empty()) {
        report->error = kRS_NoPortFound;
        report->why = "no device named";
        return nullptr;
    }
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
    port->wire_.setLine(kWireOpenBaud, 0, 8, 1);
    port->lastOutputProgress_ = dwl_MonotonicSeconds();
    return port;
}

TtySerialDevice::~TtySerialDevice() {
    if (fd_ < 0) return;
    // The kernel lets what it holds for a UART leave before the close. A pseudo-terminal has no
    // such wait: its far end would read the rest after the close, as if it came at the next
    // opening. So unless the far end has answered since, the close waits until it has read what
    // was handed to it.
    if (pty_ && !lost_ && !farEndAnswered_) {
        timespec left = timespecOf(farEndReadAt_ + kWireFarEndLagSeconds - dwl_MonotonicSeconds());
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

void TtySerialDevice::setTimeout(double seconds) {
    if (!(seconds > 0)) seconds = 0; // NaN and negatives: do not wait
    timeoutSeconds_ = std::min(seconds, 24.0 * 3600);
}

void TtySerialDevice::setDtr(bool on) {
    if (fd_ < 0 || lost_) return;
    // A pseudo-terminal has no modem lines: the request fails there and is of no consequence.
    dwllinux::setDtr(fd_, on);
}

void TtySerialDevice::flushIn() {
    if (fd_ >= 0) discardInput(fd_);
}

void TtySerialDevice::flushOut() {
    if (fd_ >= 0) discardOutput(fd_);
    out_.clear();
    outFrom_ = 0;
    // The far end of a pseudo-terminal still reads what its own side had taken in; only the
    // close waits for it.
    farEndReadAt_ =
        std::min(farEndReadAt_, dwl_MonotonicSeconds() + wire_.secondsFor(kWireFarEndBuffer));
    wire_.clear();
    lastQueued_ = 0;
}

const char* TtySerialDevice::lostReason() const {
    return lost_ ? lostReason_.c_str() : nullptr;
}

void TtySerialDevice::markLost(const std::string& why) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = path_ + ": " + why;
    out_.clear();
    outFrom_ = 0;
    wire_.clear();
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
    if (count == 1) wait = std::min(wait, kCancelCheckSeconds);
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

void TtySerialDevice::pumpOutput() {
    while (ownQueue() > 0 && !lost_) {
        const ssize_t n = ::write(fd_, out_.data() + outFrom_, static_cast<size_t>(ownQueue()));
        if (n > 0) {
            outFrom_ += static_cast<size_t>(n);
            if (pty_) {
                wire_.handed(n, dwl_MonotonicSeconds());
                farEndReadAt_ = wire_.freeAt();
                farEndAnswered_ = false;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) markLost(std::strerror(errno));
        break;
    }
    if (outFrom_ >= out_.size()) {
        out_.clear();
        outFrom_ = 0;
    }
}

int TtySerialDevice::write(const uint8_t* data, int count) {
    if (fd_ < 0) return kRS_PortNotOpen;
    if (lost_) return kRS_UnknownIOError;
    if (count < 0 || (count > 0 && !data)) return kRS_InvalidParameter;
    if (count == 0) return 0;
    if (outFrom_ > 0 && outFrom_ >= out_.size() / 2) {
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outFrom_));
        outFrom_ = 0;
    }
    out_.insert(out_.end(), data, data + count);
    // Hand the kernel what it takes at once, without waiting.
    pumpOutput();
    if (lost_) return kRS_UnknownIOError;
    lastOutputProgress_ = dwl_MonotonicSeconds();
    return count;
}

int TtySerialDevice::driverQueue() {
    // A pseudo-terminal hides what the far end has not read yet and has no wire.
    if (pty_) return static_cast<int>(wire_.queued(dwl_MonotonicSeconds()));
    return kernelOutQueue(fd_);
}

int TtySerialDevice::outQueueLength() {
    if (fd_ < 0) return 0;
    probeLine();
    if (!lost_) pumpOutput();
    if (lost_) {
        // Nothing will ever leave a lost device.
        lastQueued_ = 0;
        return 0;
    }
    const long total = static_cast<long>(ownQueue()) + driverQueue();
    const int queued = static_cast<int>(std::min<long>(total, INT_MAX));
    const double now = dwl_MonotonicSeconds();
    if (queued == 0 || queued < lastQueued_) lastOutputProgress_ = now;
    lastQueued_ = queued;
    if (queued > 0 && now - lastOutputProgress_ > timeoutSeconds_) {
        // Write time-out: the line took nothing for a whole time-out; drop what is left.
        flushOut();
        return 0;
    }
    return queued;
}

int TtySerialDevice::inQueueLength() {
    if (fd_ < 0) return 0;
    if (!lost_) {
        // Let queued output move on, and look whether the line is still there.
        pumpOutput();
        probeLine();
    }
    return lost_ ? 0 : kernelInQueue(fd_);
}

int TtySerialDevice::waitReadable(double seconds) {
    if (fd_ < 0) return kRS_PortNotOpen;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        const int ready = lost_ ? 0 : kernelInQueue(fd_);
        if (ready > 0) return ready;
        if (!lost_ && dwl_MonotonicSeconds() >= deadline) probeLine();
        if (lost_) return kRS_UnknownIOError;
        if (rs232_Cancelled() || dwl_MonotonicSeconds() >= deadline) return 0;
        sleepOnLine(deadline, true);
    }
}

int TtySerialDevice::waitDrained(double seconds) {
    if (fd_ < 0) return 0;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        // Hands the driver what it takes; drops output stalled for a whole time-out.
        const int queued = outQueueLength();
        if (lost_) return kRS_UnknownIOError;
        const double now = dwl_MonotonicSeconds();
        if (queued == 0 || rs232_Cancelled() || now >= deadline) return queued;
        double wake = deadline;
        // Only the driver still sends: sleep just as long as its bytes take on the wire, then
        // look again. Our own queue moves on whenever the driver takes more.
        if (ownQueue() == 0) wake = std::min(deadline, now + wire_.secondsFor(queued));
        sleepOnLine(wake, false);
    }
}

int TtySerialDevice::readArrived(uint8_t* buffer, int count) {
    int got = 0;
    while (got < count && !lost_) {
        const ssize_t n = ::read(fd_, buffer + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            // An answer after the last byte handed left the wire: the far end has read it all.
            if (dwl_MonotonicSeconds() >= farEndReadAt_) farEndAnswered_ = true;
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

int TtySerialDevice::read(uint8_t* buffer, int count) {
    if (fd_ < 0 || !buffer || count <= 0) return 0;
    // One time-out for the whole call, however the bytes come in.
    const double deadline = dwl_MonotonicSeconds() + timeoutSeconds_;
    int got = 0;
    for (;;) {
        got += readArrived(buffer + got, count - got);
        if (got >= count || lost_ || rs232_Cancelled()) break;
        const double now = dwl_MonotonicSeconds();
        if (now >= deadline) {
            probeLine();
            break;
        }
        const double sliceEnd = std::min(deadline, now + kReadSliceSeconds);
        sleepOnLine(sliceEnd, true);
        // A slice that brought nothing, with more of the time-out to come: a front end may keep
        // its windows painted.
        if (!lost_ && sliceEnd < deadline && dwl_MonotonicSeconds() >= sliceEnd &&
            kernelInQueue(fd_) == 0)
            rs232_CallWaitHook();
    }
    return got;
}

int TtySerialDevice::readByte() {
    uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : DWL_RS232_TIMEOUT;
}

} // namespace dwllinux

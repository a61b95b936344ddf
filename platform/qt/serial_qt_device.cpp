#include "platform/qt/serial_qt_device.h"

#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "link/serial_device.h"
#include "platform/qt/serial_termios2.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
// A read waits in slices of this length and calls the port services' wait hook between them.
constexpr int kReadSliceMsecs = 50;
// Without a wake-up pipe for the operator's cancel, a sleep looks at the flag this often.
constexpr int kCancelCheckMsecs = 50;
// A rate the kernel holds may differ this much from the one asked for (adapters round to what
// their divider can make) before it is set again as an arbitrary rate.
constexpr double kSpeedTolerance = 0.03;

int openErrorNumber(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return kRS_NoPortFound;
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::UnsupportedOperationError: return kRS_CanNotOpenPort;
    default: return kRS_UnknownSysError;
    }
}

bool speedMatches(long held, long wanted) {
    if (held <= 0) return false;
    return std::labs(held - wanted) <= static_cast<long>(wanted * kSpeedTolerance);
}

QSerialPort::Parity qtParity(int parity) {
    switch (parity) {
    case 1: return QSerialPort::OddParity;
    case 2: return QSerialPort::EvenParity;
    case 3: return QSerialPort::MarkParity;
    case 4: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

// The system's word for a line that polls as failed or hung up: what a read of it says.
std::string lineErrorText(int fd) {
    char byte = 0;
    errno = 0;
    ssize_t n = ::read(fd, &byte, 1);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return std::strerror(errno);
    return "hung up";
}
} // namespace

std::unique_ptr<QtSerialDevice> QtSerialDevice::open(const std::string& path, int* error) {
    int unused = 0;
    if (!error) error = &unused;
    if (path.empty()) {
        *error = kRS_NoPortFound;
        return nullptr;
    }
    std::unique_ptr<QtSerialDevice> device(new QtSerialDevice);
    QSerialPort& port = device->port_;
    port.setPortName(QString::fromStdString(path));
    // Open at a rate every driver takes; configure() sets the real one.
    port.setBaudRate(QSerialPort::Baud38400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.setReadBufferSize(0);
    if (!port.open(QIODevice::ReadWrite)) {
        *error = openErrorNumber(port.error());
        return nullptr;
    }
    port.clearError();
    device->path_ = path;
    device->clock_.start();
    device->pty_ = dwlqt::isPseudoTerminal(static_cast<int>(port.handle()));
    device->lastOutputProgress_.start();
    *error = 0;
    return device;
}

QtSerialDevice::~QtSerialDevice() {
    if (port_.isOpen()) port_.close();
}

int QtSerialDevice::configure(long baud, int parity, int dataBits, int stopBits) {
    if (!port_.isOpen() || lost_) return kRS_PortNotOpen;
    if (baud <= 0 || baud > INT_MAX || dataBits < 5 || dataBits > 8 || stopBits < 1 ||
        stopBits > 2 || parity < 0 || parity > 4)
        return kRS_InvalidParameter;

    baud_ = baud;
    bitsPerByte_ = 1 + dataBits + (parity != 0 ? 1 : 0) + stopBits;
    port_.setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    port_.setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // A pseudo-terminal drops parity; the line still works, so only a real port fails here.
    bool parityOk = port_.setParity(qtParity(parity));
    port_.clearError();
    if (!parityOk && !pty_) return kRS_InvalidParameter;

    // Non-standard rates: check what the kernel holds and set it as an arbitrary rate when
    // QSerialPort could not.
    bool speedOk = port_.setBaudRate(static_cast<qint32>(baud));
    port_.clearError();
    int fd = static_cast<int>(port_.handle());
    long held = dwlqt::lineSpeed(fd);
    if (held < 0) return speedOk ? 0 : kRS_InvalidParameter; // no way to look further
    if (!speedOk || !speedMatches(held, baud)) {
        if (!dwlqt::setLineSpeed(fd, baud)) return kRS_InvalidParameter;
    }
    return 0;
}

void QtSerialDevice::setTimeout(double seconds) {
    if (!(seconds > 0)) seconds = 0; // NaN and negatives: do not wait
    timeoutSeconds_ = std::min(seconds, 24.0 * 3600);
}

int QtSerialDevice::timeoutMsecs() const {
    return static_cast<int>(timeoutSeconds_ * 1000 + 0.5);
}

void QtSerialDevice::setDtr(bool on) {
    if (!port_.isOpen() || lost_) return;
    // A pseudo-terminal has no modem lines: the request fails there and is of no consequence.
    port_.setDataTerminalReady(on);
    port_.clearError();
}

void QtSerialDevice::flushIn() {
    if (!port_.isOpen()) return;
    port_.clear(QSerialPort::Input);
    port_.clearError();
}

void QtSerialDevice::flushOut() {
    if (!port_.isOpen()) return;
    port_.clear(QSerialPort::Output);
    port_.clearError();
    lastQueued_ = 0;
    accepted_ = handed_ = 0;
    wireFreeAt_ = 0.0;
}

double QtSerialDevice::byteSeconds() const {
    return baud_ > 0 ? static_cast<double>(bitsPerByte_) / static_cast<double>(baud_) : 0.0;
}

const char* QtSerialDevice::lostReason() const {
    return lost_ ? lostReason_.c_str() : nullptr;
}

void QtSerialDevice::markLost(const char* why) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = path_ + ": " + why;
}

void QtSerialDevice::checkError() {
    QSerialPort::SerialPortError e = port_.error();
    if (e == QSerialPort::ResourceError || e == QSerialPort::NotOpenError)
        markLost(port_.errorString().toUtf8().constData());
    if (e != QSerialPort::NoError) port_.clearError();
}

void QtSerialDevice::probeLine() {
    if (lost_ || !port_.isOpen()) return;
    // A hung-up line (adapter unplugged, far end of a pseudo-terminal closed) polls as hung up
    // without data, for ever.
    const int fd = static_cast<int>(port_.handle());
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return;
    if (p.revents & POLLNVAL)
        markLost(std::strerror(EBADF));
    else if ((p.revents & POLLERR) || ((p.revents & POLLHUP) && !(p.revents & POLLIN)))
        markLost(lineErrorText(fd).c_str());
}

void QtSerialDevice::sleepOnLine(int msecs, bool wantInput) {
    if (lost_ || !port_.isOpen()) return;
    const int fd = static_cast<int>(port_.handle());
    short events = wantInput ? POLLIN : 0;
    if (port_.bytesToWrite() > 0) events |= POLLOUT;
    pollfd fds[2] = {{fd, events, 0}, {rs232_CancelFd(), POLLIN, 0}};
    nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    if (count == 1) msecs = std::min(msecs, kCancelCheckMsecs);
    // POLLERR and POLLHUP come back whatever was asked: a line that fails wakes the sleep.
    if (poll(fds, count, std::max(msecs, 0)) <= 0) return;
    const short r = fds[0].revents;
    if (r & POLLNVAL) {
        markLost(std::strerror(EBADF));
        return;
    }
    if (r & POLLOUT) pumpOutput();
    if (r & POLLIN) {
        port_.waitForReadyRead(0); // takes in what arrived, and may write some output
        checkError();
        accountHandoff();
    }
    if ((r & POLLERR) || ((r & POLLHUP) && !(r & POLLIN))) markLost(lineErrorText(fd).c_str());
}

int QtSerialDevice::write(const uint8_t* data, int count) {
    if (!port_.isOpen()) return kRS_PortNotOpen;
    if (lost_) return kRS_UnknownIOError;
    if (count < 0 || (count > 0 && !data)) return kRS_InvalidParameter;
    if (count == 0) return 0;
    qint64 queued = port_.write(reinterpret_cast<const char*>(data), count);
    if (queued != count) {
        checkError();
        return kRS_UnknownIOError;
    }
    accepted_ += queued;
    // Hand the kernel what it takes at once, without waiting.
    pumpOutput();
    lastOutputProgress_.start();
    return count;
}

void QtSerialDevice::pumpOutput() {
    if (port_.bytesToWrite() > 0) {
        port_.waitForBytesWritten(0);
        checkError();
    }
    accountHandoff();
}

void QtSerialDevice::accountHandoff() {
    const qint64 handed = accepted_ - port_.bytesToWrite();
    if (handed <= handed_) return;
    const double now = static_cast<double>(clock_.nsecsElapsed()) * 1e-9;
    wireFreeAt_ =
        std::max(wireFreeAt_, now) + static_cast<double>(handed - handed_) * byteSeconds();
    handed_ = handed;
}

int QtSerialDevice::driverQueue() {
    const int fd = static_cast<int>(port_.handle());
    if (!pty_) return dwlqt::kernelOutQueue(fd);
    // A pseudo-terminal hides what the far end has not read yet and has no wire: the bytes
    // handed to it are counted as still queued for as long as they would take on the wire.
    accountHandoff();
    const double bt = byteSeconds();
    const double now = static_cast<double>(clock_.nsecsElapsed()) * 1e-9;
    if (bt <= 0.0 || wireFreeAt_ <= now) return 0;
    return static_cast<int>(std::min(std::ceil((wireFreeAt_ - now) / bt), 1e9));
}

int QtSerialDevice::queuedOutput() {
    qint64 queued = port_.bytesToWrite() + driverQueue();
    return static_cast<int>(std::min<qint64>(queued, INT_MAX));
}

int QtSerialDevice::outQueueLength() {
    if (!port_.isOpen()) return 0;
    probeLine();
    if (!lost_) pumpOutput();
    if (lost_) {
        // Nothing will ever leave a lost device.
        port_.clear(QSerialPort::Output);
        port_.clearError();
        lastQueued_ = 0;
        return 0;
    }
    int queued = queuedOutput();
    if (queued == 0 || queued < lastQueued_) lastOutputProgress_.start();
    lastQueued_ = queued;
    if (queued > 0 && lastOutputProgress_.elapsed() > timeoutMsecs()) {
        // Write time-out: the line took nothing for a whole time-out; drop what is left.
        flushOut();
        return 0;
    }
    return queued;
}

int QtSerialDevice::inQueueLength() {
    if (!port_.isOpen()) return 0;
    if (!lost_) {
        // Take in what has arrived, and let queued output move on.
        sleepOnLine(0, true);
        probeLine();
    }
    return static_cast<int>(std::min<qint64>(port_.bytesAvailable(), INT_MAX));
}

int QtSerialDevice::waitReadable(double seconds) {
    if (!port_.isOpen()) return kRS_PortNotOpen;
    const int limit = seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000)) : 0;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        qint64 ready = port_.bytesAvailable();
        if (ready > 0) return static_cast<int>(std::min<qint64>(ready, INT_MAX));
        if (lost_) return kRS_UnknownIOError;
        if (rs232_Cancelled()) return 0;
        const int remaining = limit - static_cast<int>(timer.elapsed());
        sleepOnLine(std::max(remaining, 0), true);
        if (port_.bytesAvailable() == 0 && !lost_ && timer.elapsed() >= limit) return 0;
    }
}

int QtSerialDevice::waitDrained(double seconds) {
    if (!port_.isOpen()) return 0;
    const int limit = seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000)) : 0;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Hands the driver what it takes; drops output stalled for a whole time-out.
        const int queued = outQueueLength();
        if (lost_) return kRS_UnknownIOError;
        const int remaining = limit - static_cast<int>(timer.elapsed());
        if (queued == 0 || rs232_Cancelled() || remaining <= 0) return queued;
        int msecs = remaining;
        if (port_.bytesToWrite() == 0) {
            // Only the driver still sends: sleep for as long as its bytes take on the wire.
            const double wire = queued * byteSeconds() * 1000.0;
            msecs = std::clamp(static_cast<int>(std::ceil(wire)), 1, remaining);
        }
        sleepOnLine(msecs, false);
    }
}

int QtSerialDevice::read(uint8_t* buffer, int count) {
    if (!port_.isOpen() || !buffer || count <= 0) return 0;
    // One time-out for the whole call, however the bytes come in.
    const int limit = timeoutMsecs();
    QElapsedTimer timer;
    timer.start();
    int got = 0;
    while (got < count) {
        if (port_.bytesAvailable() > 0) {
            qint64 n = port_.read(reinterpret_cast<char*>(buffer) + got, count - got);
            if (n <= 0) {
                checkError();
                break;
            }
            got += static_cast<int>(n);
            continue;
        }
        if (lost_ || rs232_Cancelled()) break;
        const int remaining = std::max(limit - static_cast<int>(timer.elapsed()), 0);
        const int ready = waitReadable(std::min(remaining, kReadSliceMsecs) / 1000.0);
        if (ready > 0) continue;
        if (ready < 0 || timer.elapsed() >= limit) break;
        // The hook may run the event loop, whose notifier reads the port too.
        rs232_CallWaitHook();
    }
    return got;
}

int QtSerialDevice::readByte() {
    uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : DWL_RS232_TIMEOUT;
}

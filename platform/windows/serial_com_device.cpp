#include "platform/windows/serial_com_device.h"

#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "platform/windows/system/cancel_event.h"
#include "platform/windows/system/system_error.h"
#include "uis/dwl_oplog.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace dwlwin {

namespace {

// A read waits in slices of this length, calls the port services' wait hook between them and
// asks the driver whether the device is still there.
constexpr double kReadSliceSeconds = 0.05;
// Without the cancel's event, a sleep looks at the flag this often.
constexpr double kCancelCheckSeconds = 0.05;
// One write hands the driver at most this much: the pending write's bytes count as queued until
// it ends, so a smaller write keeps the queue's count moving.
constexpr size_t kWriteChunk = 4096;
// Received bytes fetched by one read.
constexpr size_t kReadChunk = 4096;
// A read of bytes the driver said it holds ends at once; it is given this long all the same.
constexpr DWORD kHeldBytesReadMs = 1000;
// How long a pending read or write is given to end once it was called off. Not every port ends
// it (wine lets a write to a pseudo-terminal whose far end reads nothing run on): the device
// then leaves it pending rather than wait for it.
constexpr DWORD kCallOffMs = 200;

// An open error that means there is no such port (rather than one that refuses us).
bool deviceMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_BAD_UNIT || error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// Milliseconds from now until `deadline`, rounded up so that a wait never ends before it.
DWORD millisecondsUntil(double deadline) {
    const double left = deadline - dwl_MonotonicSeconds();
    if (!(left > 0)) return 0;
    return static_cast<DWORD>(std::min(std::ceil(left * 1000.0), 24.0 * 3600 * 1000));
}

// The name of the mutex a program holds while it has the port at `path` open. Windows itself
// refuses a second opener of a COM port, but not every implementation does (wine does not):
// among the programs of this tool the mutex does.
std::wstring portMutexName(const std::string& path) {
    std::wstring name = L"Local\\dwl-port-";
    for (char c : path) {
        const wchar_t upper = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c)));
        name += upper == L'\\' ? L'/' : upper;
    }
    return name;
}

} // namespace

struct ComSerialDevice::Io {
    HANDLE owner = nullptr; // the port's mutex (portMutexName)
    HANDLE port = INVALID_HANDLE_VALUE;
    OVERLAPPED write{};
    OVERLAPPED read{};

    ~Io() {
        for (HANDLE event : {write.hEvent, read.hEvent})
            if (event != nullptr) CloseHandle(event);
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
        if (owner != nullptr) CloseHandle(owner);
    }
};

ComSerialDevice::ComSerialDevice() : io_(std::make_unique<Io>()) {}

std::unique_ptr<ComSerialDevice> ComSerialDevice::open(const std::string& path,
                                                       const std::string& label,
                                                       std::shared_ptr<PortNotes> notes,
                                                       OpenReport* report) {
    OpenReport unused;
    if (!report) report = &unused;
    *report = OpenReport{};
    if (path.empty()) {
        report->error = kRS_NoPortFound;
        report->why = "no device named";
        return nullptr;
    }
    std::unique_ptr<ComSerialDevice> port(new ComSerialDevice);
    Io& io = *port->io_;
    io.owner = CreateMutexW(nullptr, FALSE, portMutexName(path).c_str());
    if (io.owner != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        report->error = kRS_CanNotOpenPort;
        report->why = "in use by another program";
        return nullptr;
    }
    // No sharing: a second program that opens the port is refused.
    io.port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (io.port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        report->error = deviceMissing(error) ? kRS_NoPortFound : kRS_CanNotOpenPort;
        report->why = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                          ? "in use by another program"
                          : systemErrorText(error);
        return nullptr;
    }
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(io.port, &line)) {
        report->error = kRS_CanNotOpenPort;
        report->why = "not a serial port";
        return nullptr;
    }
    io.write.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    io.read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // No time-outs: a read ends when its bytes are there, a write when the driver has them.
    COMMTIMEOUTS none{};
    if (io.write.hEvent == nullptr || io.read.hEvent == nullptr ||
        !SetCommTimeouts(io.port, &none)) {
        report->error = kRS_CanNotOpenPort;
        report->why = systemErrorText(GetLastError());
        return nullptr;
    }
    port->path_ = path;
    port->label_ = label;
    port->notes_ = std::move(notes);
    if (port->configure(kWireOpenBaud, 0, 8, 1) != 0) {
        report->error = kRS_CanNotOpenPort;
        report->why = "the port does not take 38400 baud, 8 data bits, no parity";
        return nullptr;
    }
    port->lastOutputProgress_ = dwl_MonotonicSeconds();
    return port;
}

ComSerialDevice::~ComSerialDevice() {
    Io& io = *io_;
    if (io.port == INVALID_HANDLE_VALUE) return;
    // What was handed to a pseudo-terminal stays there for its far end to read after the close,
    // as if it came at the next opening: unless the far end has answered since, wait until it
    // has read it.
    if (!lost_ && !farEndAnswered_) {
        const HANDLE cancel = cancelEvent();
        const DWORD wait = millisecondsUntil(farEndReadAt_ + kWireFarEndLagSeconds);
        if (cancel != nullptr)
            WaitForSingleObject(cancel, wait);
        else
            Sleep(wait);
    }
    // A pending read or write must end before its buffer and its event go.
    const bool readEnded = !readPending_ || callOff(&io.read);
    const bool writeEnded = !writePending_ || callOff(&io.write);
    if (!readEnded || !writeEnded) {
        // The driver may still write into them: the port's objects and buffers are left to the
        // end of the program instead (they are a few KB) than wait for ever on a dead line.
        (void)io_.release();
        new std::vector<uint8_t>(std::move(reading_));
        new std::vector<uint8_t>(std::move(writing_));
    }
    // Io's destructor closes the port and the events.
}

bool ComSerialDevice::callOff(void* operation) {
    Io& io = *io_;
    OVERLAPPED* op = static_cast<OVERLAPPED*>(operation);
    CancelIoEx(io.port, op);
    WaitForSingleObject(op->hEvent, kCallOffMs);
    DWORD n = 0;
    return GetOverlappedResult(io.port, op, &n, FALSE) || GetLastError() != ERROR_IO_INCOMPLETE;
}

int ComSerialDevice::configure(long baud, int parity, int dataBits, int stopBits) {
    Io& io = *io_;
    if (io.port == INVALID_HANDLE_VALUE || lost_) return kRS_PortNotOpen;
    if (baud <= 0 || baud > INT_MAX || dataBits < 5 || dataBits > 8 || stopBits < 1 ||
        stopBits > 2 || parity < 0 || parity > 4)
        return kRS_InvalidParameter;
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(io.port, &line)) return kRS_InvalidParameter;
    line.BaudRate = static_cast<DWORD>(baud);
    line.ByteSize = static_cast<BYTE>(dataBits);
    line.Parity = static_cast<BYTE>(parity); // NOPARITY, ODDPARITY, EVENPARITY, MARK, SPACE
    line.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = parity != 0 ? TRUE : FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = dtrOn_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    line.fDsrSensitivity = FALSE;
    line.fTXContinueOnXoff = TRUE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    // A line error must not stop every later read and write until it is cleared.
    line.fAbortOnError = FALSE;
    if (!SetCommState(io.port, &line)) return kRS_InvalidParameter;
    // A driver that cannot make the rate may keep another one without saying so.
    DCB held{};
    held.DCBlength = sizeof held;
    if (GetCommState(io.port, &held) &&
        !dwl_WireSpeedMatches(static_cast<long>(held.BaudRate), baud))
        return kRS_InvalidParameter;
    wire_.setLine(baud, parity, dataBits, stopBits);
    return 0;
}

void ComSerialDevice::setTimeout(double seconds) {
    if (!(seconds > 0)) seconds = 0; // NaN and negatives: do not wait
    timeoutSeconds_ = std::min(seconds, 24.0 * 3600);
}

void ComSerialDevice::setDtr(bool on) {
    Io& io = *io_;
    if (io.port == INVALID_HANDLE_VALUE || lost_) return;
    dtrOn_ = on;
    if (EscapeCommFunction(io.port, on ? SETDTR : CLRDTR)) return;
    // A port without modem lines (a pseudo-terminal under wine): the handset is switched on by
    // hand, as the prompt asks. Said once.
    const DWORD error = GetLastError();
    if (notes_ != nullptr && notes_->noModemLines) return;
    if (notes_ != nullptr) notes_->noModemLines = true;
    dwl50_2AddCommentF("%s: cannot set DTR on %s: %s", label_.c_str(), path_.c_str(),
                       systemErrorText(error).c_str());
}

void ComSerialDevice::flushIn() {
    Io& io = *io_;
    if (io.port == INVALID_HANDLE_VALUE) return;
    PurgeComm(io.port, PURGE_RXABORT | PURGE_RXCLEAR);
    // A read the port does not end stays pending: what it brings came after this flush.
    if (readPending_ && callOff(&io.read)) readPending_ = false;
    in_.clear();
    inFrom_ = 0;
}

void ComSerialDevice::flushOut() {
    Io& io = *io_;
    if (io.port != INVALID_HANDLE_VALUE) {
        PurgeComm(io.port, PURGE_TXABORT | PURGE_TXCLEAR);
        // A write the port does not end stays pending, its bytes no longer counted as queued;
        // the next write waits until it ends.
        if (writePending_ && callOff(&io.write)) writePending_ = false;
        writeDropped_ = writePending_;
    }
    out_.clear();
    outFrom_ = 0;
    // The far end of a pseudo-terminal still reads what it had taken in; only the close waits
    // for it.
    farEndReadAt_ =
        std::min(farEndReadAt_, dwl_MonotonicSeconds() + wire_.secondsFor(kWireFarEndBuffer));
    wire_.clear();
    lastQueued_ = 0;
}

const char* ComSerialDevice::lostReason() const {
    return lost_ ? lostReason_.c_str() : nullptr;
}

void ComSerialDevice::markLost(unsigned long error) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = path_ + ": " + systemErrorText(error);
    out_.clear();
    outFrom_ = 0;
    wire_.clear();
}

bool ComSerialDevice::probeLine(DriverQueues* queues) {
    *queues = DriverQueues{};
    if (lost_) return false;
    DWORD errors = 0;
    COMSTAT status{};
    // A device that is gone (an adapter pulled, the far end of a pseudo-terminal closed) fails
    // this query; line errors (framing, parity, overrun) are cleared and left to the protocol.
    if (!ClearCommError(io_->port, &errors, &status)) {
        markLost(GetLastError());
        return false;
    }
    queues->in = status.cbInQue;
    queues->out = status.cbOutQue;
    return true;
}

void ComSerialDevice::pumpOutput() {
    Io& io = *io_;
    while (!lost_) {
        if (writePending_) {
            DWORD n = 0;
            if (!GetOverlappedResult(io.port, &io.write, &n, FALSE)) {
                const DWORD error = GetLastError();
                if (error == ERROR_IO_INCOMPLETE) return;
                writePending_ = false;
                writeDropped_ = false;
                if (error != ERROR_OPERATION_ABORTED) markLost(error);
                continue;
            }
            writePending_ = false;
            writeDropped_ = false;
        }
        if (ownQueue() == 0) break;
        const size_t count = std::min(ownQueue(), kWriteChunk);
        writing_.assign(out_.begin() + static_cast<std::ptrdiff_t>(outFrom_),
                        out_.begin() + static_cast<std::ptrdiff_t>(outFrom_ + count));
        ResetEvent(io.write.hEvent);
        DWORD n = 0;
        const BOOL done =
            WriteFile(io.port, writing_.data(), static_cast<DWORD>(count), &n, &io.write);
        if (!done && GetLastError() != ERROR_IO_PENDING) {
            markLost(GetLastError());
            break;
        }
        // Handed over: on the wire from now, at the line's rate.
        writePending_ = true;
        outFrom_ += count;
        const double now = dwl_MonotonicSeconds();
        wire_.handed(static_cast<long>(count), now);
        farEndReadAt_ = wire_.freeAt();
        farEndAnswered_ = false;
    }
    if (outFrom_ >= out_.size()) {
        out_.clear();
        outFrom_ = 0;
    }
}

int ComSerialDevice::write(const uint8_t* data, int count) {
    if (io_->port == INVALID_HANDLE_VALUE) return kRS_PortNotOpen;
    if (lost_) return kRS_UnknownIOError;
    if (count < 0 || (count > 0 && !data)) return kRS_InvalidParameter;
    if (count == 0) return 0;
    if (outFrom_ > 0 && outFrom_ >= out_.size() / 2) {
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outFrom_));
        outFrom_ = 0;
    }
    out_.insert(out_.end(), data, data + count);
    // Hand the driver what it takes at once, without waiting.
    pumpOutput();
    if (lost_) return kRS_UnknownIOError;
    lastOutputProgress_ = dwl_MonotonicSeconds();
    return count;
}

long ComSerialDevice::driverQueue(const DriverQueues& queues) {
    // The driver's count leaves out the pending write (and a pseudo-terminal shows none): the
    // wire time left of what was handed over stands for it, or the pending write where it is
    // more.
    long queued = wire_.queued(dwl_MonotonicSeconds());
    queued = std::max(queued, static_cast<long>(std::min<unsigned long>(queues.out, LONG_MAX)));
    if (writePending_ && !writeDropped_)
        queued = std::max(queued, static_cast<long>(writing_.size()));
    return queued;
}

int ComSerialDevice::outQueueLength() {
    if (io_->port == INVALID_HANDLE_VALUE) return 0;
    if (!lost_) pumpOutput();
    DriverQueues queues;
    probeLine(&queues);
    if (lost_) {
        // Nothing will ever leave a lost device.
        lastQueued_ = 0;
        return 0;
    }
    const long total = static_cast<long>(std::min<size_t>(ownQueue(), LONG_MAX / 2)) +
                       std::min(driverQueue(queues), LONG_MAX / 2);
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

void ComSerialDevice::startRead(size_t count) {
    Io& io = *io_;
    if (readPending_ || lost_ || count == 0) return;
    reading_.resize(count);
    ResetEvent(io.read.hEvent);
    DWORD n = 0;
    if (ReadFile(io.port, reading_.data(), static_cast<DWORD>(count), &n, &io.read)) {
        in_.insert(in_.end(), reading_.begin(), reading_.begin() + n);
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING)
        readPending_ = true;
    else if (error != ERROR_OPERATION_ABORTED)
        markLost(error);
}

void ComSerialDevice::collectRead() {
    Io& io = *io_;
    if (!readPending_) return;
    DWORD n = 0;
    if (GetOverlappedResult(io.port, &io.read, &n, FALSE)) {
        readPending_ = false;
        in_.insert(in_.end(), reading_.begin(), reading_.begin() + n);
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return;
    readPending_ = false;
    // A read that timed out or was stopped still brought what it counts.
    if (error == ERROR_TIMEOUT || error == ERROR_OPERATION_ABORTED)
        in_.insert(in_.end(), reading_.begin(),
                   reading_.begin() + std::min<size_t>(n, reading_.size()));
    else
        markLost(error);
}

void ComSerialDevice::fetchArrived() {
    collectRead();
    if (readPending_ || lost_) return;
    DriverQueues queues;
    if (!probeLine(&queues) || queues.in == 0) return;
    // Bytes the driver holds: a read of just those ends at once.
    startRead(std::min<size_t>(queues.in, kReadChunk));
    if (readPending_) {
        WaitForSingleObject(io_->read.hEvent, kHeldBytesReadMs);
        collectRead();
    }
}

int ComSerialDevice::inQueueLength() {
    if (io_->port == INVALID_HANDLE_VALUE) return 0;
    if (lost_) return 0;
    // Let queued output move on, and look whether the line is still there.
    pumpOutput();
    fetchArrived();
    DriverQueues queues;
    probeLine(&queues);
    if (lost_) return 0;
    return static_cast<int>(std::min<size_t>(inBuffered() + queues.in, INT_MAX));
}

void ComSerialDevice::sleepOnLine(double deadline, bool wantInput) {
    Io& io = *io_;
    if (lost_) return;
    if (wantInput) {
        // One byte: the read ends as soon as anything comes.
        startRead(1);
        if (!readPending_) return; // it came already
    }
    HANDLE handles[3];
    DWORD count = 0;
    if (wantInput) handles[count++] = io.read.hEvent;
    if (writePending_) handles[count++] = io.write.hEvent;
    const HANDLE cancel = cancelEvent();
    DWORD wait = millisecondsUntil(deadline);
    if (cancel != nullptr)
        handles[count++] = cancel;
    else
        wait = std::min<DWORD>(wait, static_cast<DWORD>(kCancelCheckSeconds * 1000));
    if (count == 0)
        Sleep(wait);
    else
        WaitForMultipleObjects(count, handles, FALSE, wait);
    pumpOutput();
}

int ComSerialDevice::waitReadable(double seconds) {
    if (io_->port == INVALID_HANDLE_VALUE) return kRS_PortNotOpen;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        const int ready = inQueueLength();
        if (ready > 0) return ready;
        if (lost_) return kRS_UnknownIOError;
        if (rs232_Cancelled() || dwl_MonotonicSeconds() >= deadline) return 0;
        sleepOnLine(deadline, true);
    }
}

int ComSerialDevice::waitDrained(double seconds) {
    if (io_->port == INVALID_HANDLE_VALUE) return 0;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        // Hands the driver what it takes; drops output stalled for a whole time-out.
        const int queued = outQueueLength();
        if (lost_) return kRS_UnknownIOError;
        const double now = dwl_MonotonicSeconds();
        if (queued == 0 || rs232_Cancelled() || now >= deadline) return queued;
        double wake = deadline;
        // Only the wire still carries bytes: sleep just as long as they take on it, then look
        // again. Our own queue moves on whenever the pending write ends.
        if (ownQueue() == 0 && !writePending_)
            wake = std::min(deadline, now + wire_.secondsFor(queued));
        sleepOnLine(wake, false);
    }
}

int ComSerialDevice::read(uint8_t* buffer, int count) {
    if (io_->port == INVALID_HANDLE_VALUE || !buffer || count <= 0) return 0;
    // One time-out for the whole call, however the bytes come in.
    const double deadline = dwl_MonotonicSeconds() + timeoutSeconds_;
    int got = 0;
    for (;;) {
        if (!lost_) fetchArrived();
        const size_t take = std::min(inBuffered(), static_cast<size_t>(count - got));
        if (take > 0) {
            std::copy_n(in_.begin() + static_cast<std::ptrdiff_t>(inFrom_), take, buffer + got);
            inFrom_ += take;
            got += static_cast<int>(take);
            if (inFrom_ == in_.size()) {
                in_.clear();
                inFrom_ = 0;
            }
            // An answer after the last byte handed left the wire: the far end has read it all.
            if (dwl_MonotonicSeconds() >= farEndReadAt_) farEndAnswered_ = true;
        }
        if (got >= count || lost_ || rs232_Cancelled()) break;
        const double now = dwl_MonotonicSeconds();
        if (now >= deadline) {
            DriverQueues queues;
            probeLine(&queues);
            break;
        }
        const double sliceEnd = std::min(deadline, now + kReadSliceSeconds);
        sleepOnLine(sliceEnd, true);
        // A slice that brought nothing, with more of the time-out to come: a front end may keep
        // its windows painted, and a device that went away shows.
        if (!lost_ && sliceEnd < deadline && dwl_MonotonicSeconds() >= sliceEnd && readPending_) {
            DriverQueues queues;
            if (probeLine(&queues)) rs232_CallWaitHook();
        }
    }
    return got;
}

int ComSerialDevice::readByte() {
    uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : DWL_RS232_TIMEOUT;
}

} // namespace dwlwin

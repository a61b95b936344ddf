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

// One write hands the driver at most this much: the pending write's bytes count as queued until
// it ends, so a smaller write keeps the queue's count moving.
constexpr size_t kWriteChunk = 4096;
// What a port holds beyond the queue its driver counts: a UART's transmit FIFO, a USB adapter's
// own buffer. The driver says "empty" while these bytes still go out, so that the next bytes
// follow them without a pause on the line; the modelled wire counts them out the same way.
constexpr long kTransmitBuffer = 128;
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
    OpenReport spare;
    report = dwl_StartOpenReport(path, report, &spare);
    if (report->error != 0) return nullptr;
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
    // The driver's count leaves out the pending write, and a pseudo-terminal shows none.
    port->modelsWire_ = true;
    port->label_ = label;
    port->notes_ = std::move(notes);
    if (port->configure(kWireOpenBaud, 0, 8, 1) != 0) {
        report->error = kRS_CanNotOpenPort;
        report->why = "the port does not take 38400 baud, 8 data bits, no parity";
        return nullptr;
    }
    return port;
}

ComSerialDevice::~ComSerialDevice() {
    Io& io = *io_;
    if (io.port == INVALID_HANDLE_VALUE) return;
    // What was handed to a pseudo-terminal stays there for its far end to read after the close,
    // as if it came at the next opening: unless the far end has answered since, wait until it
    // has read it.
    if (const double seconds = closeWaitSeconds(); seconds > 0) {
        const HANDLE cancel = cancelEvent();
        const DWORD wait = millisecondsUntil(dwl_MonotonicSeconds() + seconds);
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

void ComSerialDevice::discardOutput() {
    Io& io = *io_;
    PurgeComm(io.port, PURGE_TXABORT | PURGE_TXCLEAR);
    // A write the port does not end stays pending, its bytes no longer counted as queued; the
    // next write waits until it ends.
    if (writePending_ && callOff(&io.write)) writePending_ = false;
    writeDropped_ = writePending_;
}

void ComSerialDevice::loseWith(unsigned long error) {
    markLost(systemErrorText(error));
}

bool ComSerialDevice::isOpen() const {
    return io_->port != INVALID_HANDLE_VALUE;
}

bool ComSerialDevice::askDriver() {
    driverQueues_ = DriverQueues{};
    if (lost_) return false;
    DWORD errors = 0;
    COMSTAT status{};
    // A device that is gone (an adapter pulled, the far end of a pseudo-terminal closed) fails
    // this query; line errors (framing, parity, overrun) are cleared and left to the protocol.
    if (!ClearCommError(io_->port, &errors, &status)) {
        loseWith(GetLastError());
        return false;
    }
    driverQueues_.in = status.cbInQue;
    driverQueues_.out = status.cbOutQue;
    return true;
}

void ComSerialDevice::probeLine() {
    askDriver();
}

void ComSerialDevice::collectWrite() {
    if (!writePending_ || lost_) return;
    DWORD n = 0;
    if (!GetOverlappedResult(io_->port, &io_->write, &n, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return;
        if (error != ERROR_OPERATION_ABORTED) loseWith(error);
    }
    writePending_ = false;
    writeDropped_ = false;
}

bool ComSerialDevice::handOverPending() {
    collectWrite();
    return writePending_;
}

long ComSerialDevice::handOver(const uint8_t* data, long count) {
    Io& io = *io_;
    // One write at a time: the next goes once the pending one has ended.
    collectWrite();
    if (writePending_ || lost_) return 0;
    const size_t chunk = std::min(static_cast<size_t>(count), kWriteChunk);
    writing_.assign(data, data + chunk);
    ResetEvent(io.write.hEvent);
    DWORD n = 0;
    if (!WriteFile(io.port, writing_.data(), static_cast<DWORD>(chunk), &n, &io.write) &&
        GetLastError() != ERROR_IO_PENDING) {
        loseWith(GetLastError());
        return 0;
    }
    writePending_ = true;
    return static_cast<long>(chunk);
}

long ComSerialDevice::driverQueue() {
    collectWrite();
    // The driver's count leaves out the pending write (and a pseudo-terminal shows none): the
    // wire time left of what was handed over stands for it, or the pending write where it is
    // more.
    long queued = wire_.queued(dwl_MonotonicSeconds() + wire_.secondsFor(kTransmitBuffer));
    queued =
        std::max(queued, static_cast<long>(std::min<unsigned long>(driverQueues_.out, LONG_MAX)));
    if (writePending_ && !writeDropped_)
        queued = std::max(queued, static_cast<long>(writing_.size()));
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
        loseWith(error);
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
        loseWith(error);
}

void ComSerialDevice::fetchArrived() {
    collectRead();
    if (readPending_ || lost_) return;
    if (!askDriver() || driverQueues_.in == 0) return;
    // Bytes the driver holds: a read of just those ends at once.
    startRead(std::min<size_t>(driverQueues_.in, kReadChunk));
    if (readPending_) {
        WaitForSingleObject(io_->read.hEvent, kHeldBytesReadMs);
        collectRead();
    }
}

long ComSerialDevice::bytesWaiting() {
    fetchArrived();
    if (!askDriver()) return 0;
    return static_cast<long>(std::min<size_t>(inBuffered() + driverQueues_.in, LONG_MAX));
}

namespace {
bool wakeOnWindowMessages = false;
} // namespace

void SetWakeOnWindowMessages(bool on) {
    wakeOnWindowMessages = on;
}

bool ComSerialDevice::quietSlice() {
    return readPending_ && askDriver();
}

void ComSerialDevice::sleepOnLine(double deadline, bool wantInput) {
    Io& io = *io_;
    if (lost_) return;
    // A write that has ended keeps its event set until it is collected: waited on, it would end
    // every wait at once, and a reply awaited after it would be awaited in a spin.
    collectWrite();
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
        wait = std::min<DWORD>(wait, static_cast<DWORD>(kSerialCancelCheckSeconds * 1000));
    if (wakeOnWindowMessages) {
        // Woken by a window message: the hook delivers it, and the wait goes on to its end.
        // Not for painting alone: a window that only needs repainting is painted with the next
        // input or timer (the GUI's tickers run a few times a second), so that a progress that
        // moves with every block does not wake the wait for every block.
        // At first also for messages that came before the wait began; after the hook ran, for
        // new ones only, so that a hook that leaves some in the queue cannot make it spin.
        DWORD flags = MWMO_INPUTAVAILABLE;
        for (;;) {
            const DWORD woke =
                MsgWaitForMultipleObjectsEx(count, handles, wait, QS_ALLINPUT & ~QS_PAINT, flags);
            if (woke != WAIT_OBJECT_0 + count) break;
            rs232_CallWaitHook();
            flags = 0;
            wait = millisecondsUntil(deadline);
            if (cancel == nullptr)
                wait = std::min<DWORD>(wait, static_cast<DWORD>(kSerialCancelCheckSeconds * 1000));
            if (wait == 0) break;
        }
    } else if (count == 0) {
        Sleep(wait);
    } else {
        WaitForMultipleObjects(count, handles, FALSE, wait);
    }
    pumpOutput();
}

int ComSerialDevice::readArrived(uint8_t* buffer, int count) {
    // Bytes fetched already serve a reply read byte by byte without asking the driver again
    // (under wine each question is a round trip to its server).
    if (!lost_ && inBuffered() < static_cast<size_t>(std::max(count, 0))) fetchArrived();
    const size_t take = std::min(inBuffered(), static_cast<size_t>(count));
    std::copy_n(in_.begin() + static_cast<std::ptrdiff_t>(inFrom_), take, buffer);
    inFrom_ += take;
    if (inFrom_ == in_.size()) {
        in_.clear();
        inFrom_ = 0;
    }
    return static_cast<int>(take);
}

} // namespace dwlwin

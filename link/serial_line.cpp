#include "link/serial_line.h"

#include "link/rs232.h"
#include "link/rs232_cancel.h"

#include <algorithm>
#include <climits>

SerialOpenReport* dwl_StartOpenReport(const std::string& path, SerialOpenReport* report,
                                      SerialOpenReport* spare) {
    if (report == nullptr) report = spare;
    *report = SerialOpenReport{};
    if (path.empty()) {
        report->error = kRS_NoPortFound;
        report->why = "no device named";
    }
    return report;
}

void SerialLine::setTimeout(double seconds) {
    if (!(seconds > 0)) seconds = 0; // NaN and negatives: do not wait
    timeoutSeconds_ = std::min(seconds, 24.0 * 3600);
}

const char* SerialLine::lostReason() const {
    return lost_ ? lostReason_.c_str() : nullptr;
}

void SerialLine::markLost(const std::string& why) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = path_ + ": " + why;
    out_.clear();
    outFrom_ = 0;
    wire_.clear();
}

double SerialLine::closeWaitSeconds() const {
    if (lost_ || farEndAnswered_) return 0.0;
    return std::max(0.0, farEndReadAt_ + kWireFarEndLagSeconds - dwl_MonotonicSeconds());
}

void SerialLine::flushOut() {
    if (isOpen()) discardOutput();
    out_.clear();
    outFrom_ = 0;
    // The far end of a pseudo-terminal still reads what its own side had taken in; only the
    // close waits for it.
    farEndReadAt_ =
        std::min(farEndReadAt_, dwl_MonotonicSeconds() + wire_.secondsFor(kWireFarEndBuffer));
    wire_.clear();
    lastQueued_ = 0;
}

void SerialLine::pumpOutput() {
    while (ownQueue() > 0 && !lost_) {
        const long n = handOver(out_.data() + outFrom_, ownQueue());
        if (n <= 0) break;
        outFrom_ += static_cast<size_t>(n);
        if (modelsWire_) {
            // Handed over: on the wire from now, at the line's rate.
            wire_.handed(n, dwl_MonotonicSeconds());
            farEndReadAt_ = wire_.freeAt();
            farEndAnswered_ = false;
        }
    }
    if (outFrom_ >= out_.size()) {
        out_.clear();
        outFrom_ = 0;
    }
}

int SerialLine::write(const uint8_t* data, int count) {
    if (!isOpen()) return kRS_PortNotOpen;
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

int SerialLine::outQueueLength() {
    if (!isOpen()) return 0;
    probeLine();
    if (!lost_) pumpOutput();
    if (lost_) {
        // Nothing will ever leave a lost device.
        lastQueued_ = 0;
        return 0;
    }
    const long total = std::min(ownQueue(), LONG_MAX / 2) + std::min(driverQueue(), LONG_MAX / 2);
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

int SerialLine::inQueueLength() {
    if (!isOpen() || lost_) return 0;
    // Let queued output move on, and look whether the line is still there.
    pumpOutput();
    probeLine();
    if (lost_) return 0;
    return static_cast<int>(std::min<long>(bytesWaiting(), INT_MAX));
}

int SerialLine::waitReadable(double seconds) {
    if (!isOpen()) return kRS_PortNotOpen;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        const long ready = lost_ ? 0 : bytesWaiting();
        if (ready > 0) return static_cast<int>(std::min<long>(ready, INT_MAX));
        if (!lost_ && dwl_MonotonicSeconds() >= deadline) probeLine();
        if (lost_) return kRS_UnknownIOError;
        if (rs232_Cancelled() || dwl_MonotonicSeconds() >= deadline) return 0;
        sleepOnLine(deadline, true);
    }
}

int SerialLine::waitDrained(double seconds) {
    if (!isOpen()) return 0;
    const double deadline = dwl_MonotonicSeconds() + (seconds > 0 ? seconds : 0);
    for (;;) {
        // Hands the driver what it takes; drops output stalled for a whole time-out.
        const int queued = outQueueLength();
        if (lost_) return kRS_UnknownIOError;
        const double now = dwl_MonotonicSeconds();
        if (queued == 0 || rs232_Cancelled() || now >= deadline) return queued;
        double wake = deadline;
        // Only the wire still carries bytes: sleep just as long as they take on it, then look
        // again. Our own queue moves on whenever the driver takes more.
        if (ownQueue() == 0 && !handOverPending())
            wake = std::min(deadline, now + wire_.secondsFor(queued));
        sleepOnLine(wake, false);
    }
}

int SerialLine::read(uint8_t* buffer, int count) {
    if (!isOpen() || !buffer || count <= 0) return 0;
    // One time-out for the whole call, however the bytes come in.
    const double deadline = dwl_MonotonicSeconds() + timeoutSeconds_;
    int got = 0;
    for (;;) {
        const int n = readArrived(buffer + got, count - got);
        got += n;
        // An answer after the last byte handed left the wire: the far end has read it all.
        if (n > 0 && dwl_MonotonicSeconds() >= farEndReadAt_) farEndAnswered_ = true;
        if (got >= count || lost_ || rs232_Cancelled()) break;
        const double now = dwl_MonotonicSeconds();
        if (now >= deadline) {
            probeLine();
            break;
        }
        const double sliceEnd = std::min(deadline, now + kSerialReadSliceSeconds);
        sleepOnLine(sliceEnd, true);
        // A slice that brought nothing, with more of the time-out to come: a front end may keep
        // its windows painted, and a device that went away shows.
        if (!lost_ && sliceEnd < deadline && dwl_MonotonicSeconds() >= sliceEnd && quietSlice())
            rs232_CallWaitHook();
    }
    return got;
}

int SerialLine::readByte() {
    uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : DWL_RS232_TIMEOUT;
}

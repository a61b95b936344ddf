#include "link/line_trace.h"

#include "link/line_step.h"
#include "link/rs232_errors.h"
#include "link/trace_gather.h"
#include "session/dwl_clock.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kStepText = 96;
constexpr size_t kSettingsText = 24;
// Bytes read one by one are gathered into one line while the step stays the same.
constexpr size_t kReadChunk = 64;

TraceFile mv_Trace = {nullptr, false, 0};

// The last bytes of each direction, as a ring.
struct LastBytes {
    uint8_t bytes[DWL_LAST_BYTES];
    int next;
    int count;
};
LastBytes ma_LastBytes[2];

void keep(bool toHandset, const uint8_t* bytes, size_t count) {
    LastBytes& ring = ma_LastBytes[toHandset ? 0 : 1];
    if (count > static_cast<size_t>(DWL_LAST_BYTES)) {
        bytes += count - DWL_LAST_BYTES;
        count = DWL_LAST_BYTES;
    }
    for (size_t i = 0; i < count; ++i) {
        ring.bytes[ring.next] = bytes[i];
        ring.next = (ring.next + 1) % DWL_LAST_BYTES;
    }
    ring.count = ring.count + static_cast<int>(count) > DWL_LAST_BYTES
                     ? DWL_LAST_BYTES
                     : ring.count + static_cast<int>(count);
}

class TracedDevice;
// The port opened last, for the protocol's own time-outs.
TracedDevice* mv_LastTraced = nullptr;

// A port with its trace state; every call goes on to the device it wraps.
class TracedDevice : public SerialDevice {
  public:
    TracedDevice(std::unique_ptr<SerialDevice> device, int port, const char* name)
        : device_(std::move(device)), opened_(dwl_Now()) {
        if (name != nullptr && *name != '\0')
            std::snprintf(name_, sizeof name_, "%s", name);
        else
            std::snprintf(name_, sizeof name_, "COM%d", port);
        std::snprintf(settings_, sizeof settings_, "-");
        mv_LastTraced = this;
    }

    ~TracedDevice() override {
        if (mv_LastTraced == this) mv_LastTraced = nullptr;
        flushRead();
        event(TRACE_CLOSE, nullptr);
        if (mv_Trace.file != nullptr) std::fflush(mv_Trace.file);
    }

    int configure(long baud, int parity, int dataBits, int stopBits) override {
        flushRead();
        const int rc = device_->configure(baud, parity, dataBits, stopBits);
        if (rc < 0) {
            error(rc);
            return rc;
        }
        char now[kSettingsText];
        dwl12_TraceSettings(now, sizeof now, baud, parity, dataBits, stopBits);
        const bool first = !configured_;
        configured_ = true;
        if (first || std::strcmp(now, settings_) != 0) {
            std::memcpy(settings_, now, sizeof settings_);
            event(first ? TRACE_OPEN : TRACE_SPEED, first ? name_ : nullptr);
        }
        return rc;
    }

    void setTimeout(double seconds) override { device_->setTimeout(seconds); }

    void setDtr(bool on) override {
        flushRead();
        device_->setDtr(on);
        event(TRACE_DTR, on ? "on" : "off");
    }

    void flushIn() override { device_->flushIn(); }
    void flushOut() override { device_->flushOut(); }

    int write(const uint8_t* data, int count) override {
        flushRead();
        const double t = dwl_Now();
        const int rc = device_->write(data, count);
        if (rc < 0) {
            error(rc);
            return rc;
        }
        if (count > 0) {
            keep(true, data, static_cast<size_t>(count));
            if (mv_Trace.file != nullptr) {
                char step[kStepText];
                dwl12_FormatLineStep(step, sizeof step);
                dwl12_TraceLine(&mv_Trace, t - opened_, TRACE_PC_TO_HS, settings_, step, data,
                                static_cast<size_t>(count), nullptr);
            }
        }
        return rc;
    }

    int outQueueLength() override { return device_->outQueueLength(); }
    int inQueueLength() override { return device_->inQueueLength(); }
    int waitReadable(double seconds) override {
        const int rc = device_->waitReadable(seconds);
        if (rc < 0) error(rc);
        return rc;
    }
    int waitDrained(double seconds) override {
        const int rc = device_->waitDrained(seconds);
        if (rc < 0) error(rc);
        return rc;
    }
    const char* lostReason() const override { return device_->lostReason(); }

    int readByte() override {
        const int value = device_->readByte();
        if (value < 0) {
            flushRead();
            if (value == DWL_RS232_TIMEOUT)
                event(TRACE_TIMEOUT, nullptr);
            else
                error(value);
            return value;
        }
        const uint8_t byte = static_cast<uint8_t>(value);
        keep(false, &byte, 1);
        if (mv_Trace.file != nullptr) gather(&byte, 1);
        return value;
    }

    int read(uint8_t* buffer, int count) override {
        const int got = device_->read(buffer, count);
        if (got > 0) {
            keep(false, buffer, static_cast<size_t>(got));
            if (mv_Trace.file != nullptr) gather(buffer, static_cast<size_t>(got));
        }
        if (got < count) {
            flushRead();
            if (got < 0)
                error(got);
            else
                event(TRACE_TIMEOUT, nullptr);
        }
        return got;
    }

    void timedOut() {
        flushRead();
        event(TRACE_TIMEOUT, nullptr);
    }

  private:
    // Adds received bytes to the pending line, which is written when the step changes, the
    // other direction speaks or an event comes.
    void gather(const uint8_t* bytes, size_t count) {
        const uint32_t serial = dwl12_LineStepSerial();
        if (received_.add(&mv_Trace, serial, bytes, count)) return;
        char step[kStepText];
        dwl12_FormatLineStep(step, sizeof step);
        received_.start(&mv_Trace, dwl_Now() - opened_, settings_, step, serial, bytes, count);
    }

    void flushRead() { received_.flush(&mv_Trace); }

    void event(TraceWhat what, const char* detail) {
        if (mv_Trace.file == nullptr) return;
        char step[kStepText];
        dwl12_FormatLineStep(step, sizeof step);
        dwl12_TraceLine(&mv_Trace, dwl_Now() - opened_, what, settings_, step, nullptr, 0, detail);
    }

    void error(int code) {
        flushRead();
        char detail[160];
        const char* lost = device_->lostReason();
        if (lost != nullptr)
            std::snprintf(detail, sizeof detail, "%d %s", code, lost);
        else
            std::snprintf(detail, sizeof detail, "%d %s", code, GetRS232ErrorString(code));
        event(TRACE_ERROR, detail);
    }

    std::unique_ptr<SerialDevice> device_;
    double opened_;
    bool configured_ = false;
    char name_[64];
    char settings_[kSettingsText];
    TraceGather received_{TRACE_HS_TO_PC, kReadChunk};
};

} // namespace

int dwl12_TraceStart(const char* path, bool append, bool fullData) {
    dwl12_TraceStop();
    if (path == nullptr || *path == '\0') {
        errno = EINVAL;
        return -1;
    }
    FILE* f = std::fopen(path, append ? "a" : "w");
    if (f == nullptr) return -1;
    // Lines go out in large writes: the trace must not slow the line down.
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    mv_Trace.file = f;
    mv_Trace.fullData = fullData;
    return 0;
}

int dwl12_TraceStop() {
    int error = mv_Trace.error;
    if (mv_Trace.file != nullptr) {
        errno = 0;
        if (std::ferror(mv_Trace.file) != 0 && error == 0) error = EIO;
        if (std::fclose(mv_Trace.file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    }
    mv_Trace = TraceFile{nullptr, false, 0};
    return error;
}

bool dwl12_TraceActive() {
    return mv_Trace.file != nullptr;
}

void dwl12_TraceRunStart() {
    ma_LastBytes[0] = LastBytes{};
    ma_LastBytes[1] = LastBytes{};
    dwl12_ClearLineStep();
    if (mv_Trace.file != nullptr) std::fflush(mv_Trace.file);
}

int dwl12_LastLineBytes(bool toHandset, uint8_t* out, int max) {
    const LastBytes& ring = ma_LastBytes[toHandset ? 0 : 1];
    const int n = ring.count < max ? ring.count : max;
    // Oldest kept byte first; with fewer wanted than kept, the newest n.
    int start = (ring.next - n + DWL_LAST_BYTES) % DWL_LAST_BYTES;
    for (int i = 0; i < n; ++i)
        out[i] = ring.bytes[(start + i) % DWL_LAST_BYTES];
    return n;
}

void dwl12_NoteLineTimeout() {
    if (mv_LastTraced != nullptr) mv_LastTraced->timedOut();
}

std::unique_ptr<SerialDevice> dwl12_TraceDevice(std::unique_ptr<SerialDevice> device, int port,
                                                const char* deviceName) {
    if (!device) return device;
    return std::make_unique<TracedDevice>(std::move(device), port, deviceName);
}

#include "tests/support/scripted_line.h"

#include "link/rs232.h"

#include <string>

namespace testsupport {

class ScriptedDevice : public SerialDevice {
  public:
    explicit ScriptedDevice(ScriptedLine& line) : line_(line) {}
    ~ScriptedDevice() override { ++line_.closes; }

    int configure(long baud, int parity, int, int) override {
        if (baud == line_.refusedBaud) return kRS_InvalidParameter;
        if (line_.configureError_ != 0) return line_.configureError_;
        line_.settings_.push_back({baud, parity, line_.timeout_});
        return 0;
    }
    void setTimeout(double seconds) override {
        line_.timeout_ = seconds;
        if (!line_.settings_.empty()) line_.settings_.back().timeout = seconds;
    }
    void setDtr(bool on) override { line_.dtr_.push_back(on); }
    void flushIn() override {}
    void flushOut() override {}
    int write(const uint8_t* data, int count) override {
        if (lost()) return kRS_UnknownIOError;
        std::vector<uint8_t> bytes(data, data + count);
        line_.written_.insert(line_.written_.end(), bytes.begin(), bytes.end());
        line_.writes_.push_back(bytes);
        if (line_.responder_) line_.responder_(bytes, line_);
        return count;
    }
    int outQueueLength() override {
        ++line_.outQueuePolls;
        return 0;
    }
    int inQueueLength() override {
        if (line_.in_.empty()) {
            line_.now_ += 0.01; // polling lets time pass
            if (line_.whilePolling_) line_.whilePolling_(line_);
        }
        return static_cast<int>(line_.in_.size());
    }
    int readByte() override {
        if (lost()) return kRS_UnknownIOError;
        if (line_.in_.empty()) {
            line_.now_ += line_.timeout_;
            return DWL_RS232_TIMEOUT;
        }
        int b = line_.in_.front();
        line_.in_.pop_front();
        return b;
    }
    int read(uint8_t* buffer, int count) override {
        if (lost()) return kRS_UnknownIOError;
        int n = 0;
        while (n < count) {
            int b = readByte();
            if (b < 0) break;
            buffer[n++] = static_cast<uint8_t>(b);
        }
        return n;
    }

    const char* lostReason() const override { return lost() ? line_.lostReason_.c_str() : nullptr; }

  private:
    bool lost() const { return !line_.lostReason_.empty(); }

    ScriptedLine& line_;
};

ScriptedLine::ScriptedLine() {
    previousClock_ = dwl_GetClock();
    dwl_SetClock(this);
    rs232_SetOpener([this](int, const char* name, int* error) -> std::unique_ptr<SerialDevice> {
        if (openError_ != 0) {
            *error = openError_;
            return nullptr;
        }
        openedNames.push_back(name);
        return std::make_unique<ScriptedDevice>(*this);
    });
}

ScriptedLine::~ScriptedLine() {
    rs232_SetOpener(nullptr);
    dwl_SetClock(previousClock_);
}

void ScriptedLine::reply(std::vector<uint8_t> bytes) {
    in_.insert(in_.end(), bytes.begin(), bytes.end());
}

void ScriptedLine::setResponder(Responder responder) {
    responder_ = std::move(responder);
}

void ScriptedLine::failOpenWith(int error) {
    openError_ = error;
}

} // namespace testsupport

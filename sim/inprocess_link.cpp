// The in-process serial link to the emulated handset, over a virtual clock. A read that finds
// nothing to read lets virtual time run to the handset's next byte or to the time-out.
#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "link/serial_device.h"
#include "sim/handset.h"
#include "sim/handset_engine.h"

#include <algorithm>
#include <deque>

namespace sim {
namespace {

// Virtual time a queue poll lets pass when there is nothing to report.
constexpr double kPollStep = 0.001;
// A read sleeps at most this long before it calls the wait hook, as on a real port.
constexpr double kReadSlice = 0.05;

class SimDevice : public SerialDevice {
  public:
    SimDevice(HandsetEngine& engine, VirtualClock& clock) : engine_(engine), clock_(clock) {
        // Whatever reached a closed port is lost.
        engine_.dropArrived(clock_.elapsed());
    }
    ~SimDevice() override { engine_.dropArrived(clock_.elapsed()); }

    int configure(long baud, int parity, int, int) override {
        if (baud <= 0 || parity < 0 || parity > 4) return kRS_InvalidParameter;
        sync();
        pc_ = LineSettings{baud, parity};
        return 0;
    }

    void setTimeout(double seconds) override { timeout_ = seconds > 0.0 ? seconds : 0.0; }

    void setDtr(bool on) override {
        sync();
        engine_.setDtr(on, clock_.elapsed());
    }

    void flushIn() override {
        sync();
        engine_.dropArrived(clock_.elapsed());
    }

    void flushOut() override {
        sync();
        pending_.clear();
    }

    int write(const uint8_t* data, int count) override {
        if (count < 0 || (count > 0 && !data)) return kRS_InvalidParameter;
        sync();
        double now = clock_.elapsed();
        bool paced = engine_.config().wirePacing;
        if (!paced && pending_.empty()) {
            // Bytes travel instantly: all of them reach the handset now.
            engine_.receive(data, static_cast<size_t>(count), pc_, now);
            return count;
        }
        double byteTime = paced ? ByteTime(pc_) : 0.0;
        for (int i = 0; i < count; ++i) {
            double begin = std::max(now, lineFree_);
            lineFree_ = begin + byteTime;
            pending_.push_back(Pending{data[i], lineFree_, pc_});
        }
        sync();
        return count;
    }

    // Bytes not yet through at the time of the poll; the poll then lets them move on, by a
    // small step or, when they are through sooner, exactly to the moment they are.
    int outQueueLength() override {
        sync();
        int n = static_cast<int>(pending_.size());
        if (n > 0) {
            // The PC waits for its output to drain, as on a real line.
            rs232_CallWaitHook();
            clock_.advanceElapsedTo(
                std::min(clock_.elapsed() + kPollStep, pending_.back().arrivesAt));
            sync();
        }
        return n;
    }

    int inQueueLength() override {
        sync();
        int n = arrived();
        if (n == 0) {
            clock_.advance(kPollStep);
            sync();
            n = arrived();
        }
        return n;
    }

    // Lets virtual time run to the next byte for the PC, or to `seconds` from now.
    int waitReadable(double seconds) override {
        const double deadline = clock_.elapsed() + (seconds > 0.0 ? seconds : 0.0);
        for (;;) {
            sync();
            double now = clock_.elapsed();
            if (arrived() > 0) return arrived();
            if (pending_.empty()) {
                engine_.pcWaiting(now);
                if (arrived() > 0) return arrived();
            }
            if (rs232_Cancelled() || now >= deadline) return 0;
            double next = engine_.nextEventTime();
            if (!engine_.output().empty()) next = std::min(next, engine_.output().front().readyAt);
            if (!pending_.empty()) next = std::min(next, pending_.front().arrivesAt);
            // Always move on, however little, so that the loop cannot stall.
            clock_.advanceElapsedTo(std::min(deadline, next > now ? next : now + 1e-9));
        }
    }

    // Lets virtual time run until the last queued byte is through, or `seconds` from now.
    int waitDrained(double seconds) override {
        sync();
        if (pending_.empty() || rs232_Cancelled()) return static_cast<int>(pending_.size());
        clock_.advanceElapsedTo(
            std::min(clock_.elapsed() + std::max(seconds, 0.0), pending_.back().arrivesAt));
        sync();
        return static_cast<int>(pending_.size());
    }

    int readByte() override {
        const double deadline = clock_.elapsed() + timeout_;
        for (;;) {
            double left = deadline - clock_.elapsed();
            if (waitReadable(std::min(left, kReadSlice)) > 0) return take();
            if (rs232_Cancelled() || clock_.elapsed() >= deadline) return DWL_RS232_TIMEOUT;
            // Nothing to read yet: the PC waits here, as on a real line.
            rs232_CallWaitHook();
        }
    }

    int read(uint8_t* buffer, int count) override {
        int n = 0;
        while (n < count) {
            int b = readByte();
            if (b < 0) break;
            buffer[n++] = static_cast<uint8_t>(b);
        }
        return n;
    }

  private:
    struct Pending {
        uint8_t value;
        double arrivesAt;
        LineSettings sentAt;
    };

    // Hands the handset every byte that has reached it, in time order with its own timers.
    void sync() {
        double now = clock_.elapsed();
        while (!pending_.empty() && pending_.front().arrivesAt <= now) {
            Pending p = pending_.front();
            pending_.pop_front();
            engine_.receive(p.value, p.sentAt, p.arrivesAt);
        }
        engine_.advanceTo(now);
    }

    // Bytes of the handset's output that have reached the PC (the output is in time order).
    int arrived() {
        std::deque<OutByte>& out = engine_.output();
        if (out.empty() || out.front().readyAt > clock_.elapsed()) return 0;
        auto end = std::upper_bound(out.begin(), out.end(), clock_.elapsed(),
                                    [](double t, const OutByte& b) { return t < b.readyAt; });
        return static_cast<int>(end - out.begin());
    }

    int take() {
        OutByte b = engine_.output().front();
        engine_.output().pop_front();
        return engine_.deliver(b, pc_);
    }

    HandsetEngine& engine_;
    VirtualClock& clock_;
    LineSettings pc_ = kBootLine;
    double timeout_ = 5.0;
    double lineFree_ = 0.0;
    std::deque<Pending> pending_;
};

} // namespace

struct SimSession::State {
    explicit State(HandsetConfig config) : handset(std::move(config)) {}
    Handset handset;
    VirtualClock clock;
    ClockSource* previousClock = nullptr;
};

SimSession::SimSession(HandsetConfig config) : state_(std::make_unique<State>(std::move(config))) {
    State* s = state_.get();
    s->previousClock = dwl_GetClock();
    dwl_SetClock(&s->clock);
    s->handset.impl().start(s->clock.elapsed());
    rs232_SetOpener([s](int, const char*, int*) -> std::unique_ptr<SerialDevice> {
        return std::make_unique<SimDevice>(s->handset.impl(), s->clock);
    });
}

SimSession::~SimSession() {
    // Closes every port still open on the handset before it goes.
    rs232_SetOpener(nullptr);
    dwl_SetClock(state_->previousClock);
}

Handset& SimSession::handset() {
    return state_->handset;
}
VirtualClock& SimSession::clock() {
    return state_->clock;
}

} // namespace sim

#include "app/handset_sim/pty_server.h"

#include "app/handset_sim/pty_termios2.h"
#include "sim/handset_engine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

// Longest sleep of the loop: the pace of the 0xBE announcements.
constexpr double kMaxWait = 0.020;

double MonotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void SleepSeconds(double s) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(s);
    ts.tv_nsec = static_cast<long>((s - static_cast<double>(ts.tv_sec)) * 1e9);
    nanosleep(&ts, nullptr);
}

// A pseudo-terminal keeps no parity setting (the kernel clears it), so only the rate tells
// whether both ends agree.
long SlaveBaud(int fd, long fallback) {
    long baud = 0;
    int parity = 0;
    if (!ReadSlaveLineSettings(fd, &baud, &parity) || baud <= 0) return fallback;
    return baud;
}

struct WireByte {
    uint8_t value;
    bool announcement;
    sim::Step step;
};

class PtyServer {
  public:
    PtyServer(int fd, const sim::HandsetConfig& config, TraceFile* trace)
        : fd_(fd), handset_(config), trace_(trace) {}

    int run() {
        engine().start(MonotonicNow());
        for (;;) {
            double now = MonotonicNow();
            engine().advanceTo(now);
            pollfd p{fd_, POLLIN, 0};
            int rc = poll(&p, 1, waitMilliseconds(now));
            if (rc < 0 && errno != EINTR) return 1;
            now = MonotonicNow();
            bool hangUp = (p.revents & POLLHUP) != 0;
            if (!hangUp && (p.revents & POLLIN)) hangUp = !readFromPc(now);
            if (hangUp) {
                portClosed(now);
                continue;
            }
            closed_ = false;
            traceOpen(now);
            engine().advanceTo(now);
            writeToPc(now);
        }
    }

  private:
    sim::HandsetEngine& engine() { return handset_.impl(); }

    int waitMilliseconds(double now) {
        double until = now + kMaxWait;
        until = std::min(until, engine().nextEventTime());
        if (!engine().output().empty()) until = std::min(until, engine().output().front().readyAt);
        if (!wire_.empty()) until = std::min(until, now + 0.002); // the line was full: retry soon
        double wait = std::max(0.0, until - now);
        return static_cast<int>(std::ceil(wait * 1000.0));
    }

    // False when the PC has closed the port.
    bool readFromPc(double now) {
        uint8_t buffer[4096];
        ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno != EIO) traceError(now, errno);
            return errno != EIO;
        }
        if (n == 0) return true;
        // The settings the PC's bytes went out with.
        pcBaud_ = SlaveBaud(fd_, pcBaud_);
        ssize_t chunk = 0;
        const char* expected = engine().stateName();
        for (ssize_t i = 0; i < n; ++i) {
            // One trace line per run of bytes that the handset took in the same state.
            if (trace_ != nullptr && engine().stateName() != expected) {
                traceChunk(now, TRACE_PC_TO_HS, expected, buffer + chunk, i - chunk);
                chunk = i;
                expected = engine().stateName();
            }
            sim::LineSettings sentAt{pcBaud_, engine().lineSettings().parity};
            engine().receive(buffer[i], sentAt, now);
        }
        traceChunk(now, TRACE_PC_TO_HS, expected, buffer + chunk, n - chunk);
        return true;
    }

    // The trace, from the handset's side: its own line settings and what it expects or answers.
    void traceOpen(double now) {
        if (trace_ == nullptr || traceOpen_) return;
        traceOpen_ = true;
        openedAt_ = now;
        traceEvent(now, TRACE_OPEN, "PC opened the port");
    }

    void traceEvent(double now, TraceWhat what, const char* detail) {
        if (trace_ == nullptr) return;
        traceLeftOut(now);
        traceSettings();
        dwl12_TraceLine(trace_, now - openedAt_, what, settings_, engine().stateName(), nullptr, 0,
                        detail);
        std::fflush(trace_->file);
    }

    void traceError(double now, int error) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%d %s", error, std::strerror(error));
        traceEvent(now, TRACE_ERROR, detail);
    }

    void traceChunk(double now, TraceWhat what, const char* step, const uint8_t* bytes,
                    ssize_t count) {
        if (trace_ == nullptr || count <= 0) return;
        traceLeftOut(now);
        traceSettings();
        dwl12_TraceLine(trace_, now - openedAt_, what, settings_, step, bytes,
                        static_cast<size_t>(count), nullptr);
    }

    // Writes a speed event when the handset's line settings changed.
    void traceSettings() {
        const sim::LineSettings s = engine().lineSettings();
        if (s == tracedSettings_ && settings_[0] != '\0') return;
        const bool changed = settings_[0] != '\0';
        tracedSettings_ = s;
        dwl12_TraceSettings(settings_, sizeof settings_, s.baud, s.parity, 8, 1);
        if (changed && traceOpen_)
            dwl12_TraceLine(trace_, MonotonicNow() - openedAt_, TRACE_SPEED, settings_,
                            engine().stateName(), nullptr, 0, nullptr);
    }

    void portClosed(double now) {
        wire_.clear();
        if (!closed_) {
            // Closing the port is the only power switch a pseudo-terminal has.
            closed_ = true;
            if (traceOpen_) {
                traceEvent(now, TRACE_CLOSE, "PC closed the port");
                traceOpen_ = false;
            }
            engine().powerOn(now);
        }
        engine().advanceTo(now);
        engine().dropArrived(now);
        SleepSeconds(0.010);
    }

    void writeToPc(double now) {
        std::deque<sim::OutByte>& out = engine().output();
        if (!out.empty() && out.front().readyAt <= now) {
            pcBaud_ = SlaveBaud(fd_, pcBaud_);
            while (!out.empty() && out.front().readyAt <= now) {
                sim::OutByte b = out.front();
                out.pop_front();
                sim::LineSettings pc{pcBaud_, b.settings.parity};
                wire_.push_back(WireByte{engine().deliver(b, pc), b.announcement, b.step});
            }
        }
        while (!wire_.empty()) {
            uint8_t chunk[512];
            size_t n = std::min(wire_.size(), sizeof chunk);
            for (size_t i = 0; i < n; ++i)
                chunk[i] = wire_[i].value;
            ssize_t written = write(fd_, chunk, n);
            if (written > 0) {
                traceWritten(now, chunk, static_cast<size_t>(written));
                wire_.erase(wire_.begin(), wire_.begin() + written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN) traceError(now, errno);
            // The line is full: announcements are lost, replies wait for room.
            while (!wire_.empty() && wire_.front().announcement)
                wire_.pop_front();
            return;
        }
    }

    // One trace line per reply point among the bytes just written. Of a row of wake-up
    // announcements only the first is written, and then how many followed.
    void traceWritten(double now, const uint8_t* bytes, size_t count) {
        if (trace_ == nullptr) return;
        size_t start = 0;
        for (size_t i = 1; i <= count; ++i) {
            if (i < count && wire_[i].step == wire_[start].step) continue;
            const bool announcement = wire_[start].step == sim::Step::WakeUp;
            if (announcement && lastWasWakeUp_) {
                leftOut_ += i - start;
            } else {
                traceChunk(now, TRACE_HS_TO_PC, sim::StepName(wire_[start].step), bytes + start,
                           static_cast<ssize_t>(i - start));
            }
            lastWasWakeUp_ = announcement;
            start = i;
        }
    }

    void traceLeftOut(double now) {
        if (leftOut_ == 0) return;
        char detail[64];
        std::snprintf(detail, sizeof detail, "%zu more announcements left out", leftOut_);
        leftOut_ = 0;
        lastWasWakeUp_ = false;
        dwl12_TraceLine(trace_, now - openedAt_, TRACE_HS_TO_PC, settings_,
                        sim::StepName(sim::Step::WakeUp), nullptr, 0, detail);
    }

    int fd_;
    sim::Handset handset_;
    TraceFile* trace_;
    bool traceOpen_ = false;
    bool lastWasWakeUp_ = false;
    size_t leftOut_ = 0;
    double openedAt_ = 0.0;
    sim::LineSettings tracedSettings_;
    char settings_[24] = "";
    long pcBaud_ = sim::kBootLine.baud;
    std::deque<WireByte> wire_;
    bool closed_ = false;
};

} // namespace

bool OpenPty(PtyEndpoint* endpoint) {
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        close(fd);
        return false;
    }
    const char* name = ptsname(fd);
    if (!name) {
        close(fd);
        return false;
    }
    // Raw mode for the slave, set through the master.
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B38400);
        cfsetospeed(&t, B38400);
        t.c_cflag |= PARENB | CLOCAL | CREAD;
        tcsetattr(fd, TCSANOW, &t);
    }
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    endpoint->masterFd = fd;
    endpoint->slavePath = name;
    return true;
}

int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config, TraceFile* trace) {
    sim::HandsetConfig served = config;
    served.powerOnDtr = false; // no modem lines: powered at start
    served.wakeUpInterval = 0.020;
    PtyServer server(endpoint.masterFd, served, trace);
    return server.run();
}

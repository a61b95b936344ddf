#include "app/handset_sim/pty_server.h"

#include "app/handset_sim/flash_dump.h"
#include "app/handset_sim/handset_trace.h"
#include "app/handset_sim/line_tally.h"
#include "platform/linux/serial_termios2.h"
#include "sim/handset_engine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

double MonotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Longest stretch of wire time the server lets pass between two looks at the line while bytes
// stream in either direction: bytes are taken and handed over in chunks of about this length.
constexpr double kChunkSeconds = 0.004;

// The PC's side of the line as the slave holds it. A pseudo-terminal keeps no parity setting
// (the kernel clears it), so the handset's own parity stands in for it.
sim::LineSettings PcLine(int fd, sim::LineSettings fallback, int handsetParity) {
    long baud = 0;
    int parity = 0;
    if (!dwllinux::lineSettings(fd, &baud, &parity) || baud <= 0) return fallback;
    return sim::LineSettings{baud, parity != 0 ? parity : handsetParity};
}

int PendingFromPc(int fd) {
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) return 0;
    return n;
}

struct WireByte {
    uint8_t value;
    bool announcement;
    sim::Step step;
};

class PtyServer {
  public:
    PtyServer(const PtyEndpoint& endpoint, const sim::HandsetConfig& config,
              const ServeOptions& options)
        : endpoint_(endpoint), fd_(endpoint.masterFd), handset_(config), options_(options),
          trace_(options.trace, handset_.impl()) {}

    int run() {
        // The handset is powered when the PC first opens the port: nothing before can be heard.
        if (!SleepUntilOpened(endpoint_, true)) return 0;
        if (plan().count > 0) engine() = sim::HandsetEngine(plan().configFor(session_));
        engine().start(MonotonicNow());
        for (;;) {
            double now = MonotonicNow();
            switchOnNext(now);
            // Bytes from the PC first, at the times they came off the wire, so that the
            // handset's replies start from those times and not from this look at the line.
            if (!takeFromPc(now)) {
                if (!portClosed(now)) return 0;
                continue;
            }
            closed_ = false;
            trace_.opened(now);
            engine().advanceTo(now);
            writeToPc(now);
            // While bytes from the PC are still on the wire the server does not ask to be
            // woken by them: it comes back when the next chunk has arrived.
            // A stop signal that came at any time before is still pending and ends the wait.
            pollfd p[2] = {{fd_, static_cast<short>(receiving_ ? 0 : POLLIN), 0},
                           {endpoint_.stopFd, POLLIN, 0}};
            timespec wait{};
            const bool deadline = waitTime(MonotonicNow(), &wait);
            int rc = ppoll(p, endpoint_.stopFd >= 0 ? 2 : 1, deadline ? &wait : nullptr, nullptr);
            if (rc < 0 && errno != EINTR) return 1;
            if (rc > 0 && (p[1].revents & POLLIN)) {
                stop(MonotonicNow());
                return 0;
            }
            if ((p[0].revents & POLLHUP) && !(p[0].revents & POLLIN)) {
                if (!portClosed(MonotonicNow())) return 0;
            }
        }
    }

  private:
    sim::HandsetEngine& engine() { return handset_.impl(); }
    const SessionPlan& plan() const { return options_.sessions; }

    // The handset of a session has been served: it is taken off the line, and the next one,
    // if any, is switched on a gap later. Until then the line is silent.
    void endSession(double now) {
        if (session_ >= plan().count) {
            engine() = sim::HandsetEngine(plan().configFor(session_));
            return;
        }
        ++session_;
        engine() = sim::HandsetEngine(plan().configFor(session_));
        nextPowerOn_ = now + plan().gap;
    }

    void switchOnNext(double now) {
        if (now < nextPowerOn_) return;
        engine().start(nextPowerOn_);
        nextPowerOn_ = sim::kNever;
    }

    // When the loop must look again though the line stays quiet: the handset's next event, the
    // next reply byte, the next chunk from the PC. False when nothing is due.
    bool waitTime(double now, timespec* ts) {
        double until = engine().nextEventTime();
        const std::deque<sim::OutByte>& out = engine().output();
        if (!out.empty()) {
            // A reply goes over whole when it is short; a long stream in chunks.
            double first = out.front().readyAt;
            until = std::min(until, std::min(out.back().readyAt, first + kChunkSeconds));
        }
        if (receiving_) until = std::min(until, nextArrival_);
        until = std::min(until, nextPowerOn_);
        if (!wire_.empty()) until = std::min(until, now + 0.002); // the line was full: retry soon
        if (!std::isfinite(until)) return false;
        const double wait = std::max(0.0, until - now);
        ts->tv_sec = static_cast<time_t>(wait);
        ts->tv_nsec = static_cast<long>((wait - static_cast<double>(ts->tv_sec)) * 1e9);
        return true;
    }

    // Takes the bytes from the PC that have come off the wire by `now`. False when the PC has
    // closed the port.
    bool takeFromPc(double now) {
        const sim::LineSettings line = PcLine(fd_, pcLine_, engine().lineSettings().parity);
        pcLine_ = line;
        if (!options_.paced) return readFromPc(now, 1 << 20, line, 0.0, now);

        const int pending = PendingFromPc(fd_);
        pollfd p{fd_, 0, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) {
            // The PC has closed the port, or died: what it wrote and the handset has not taken
            // yet belongs to this session, never to the next opening's.
            receiving_ = false;
            if (pending > 0) readFromPc(now, pending, line, 0.0, now);
            return false;
        }
        if (pending <= 0) {
            receiving_ = false;
            return true;
        }
        const double byteTime = sim::ByteTime(line);
        if (!receiving_) {
            // The first byte of a burst went on the wire when the PC wrote it, which is when
            // this look at the line was woken, or after the bytes before it.
            receiving_ = true;
            rxFree_ = std::max(rxFree_, now);
        }
        int due = static_cast<int>(std::floor((now - rxFree_) / byteTime + 1e-6));
        due = std::min(due, pending);
        bool open = true;
        if (due > 0) open = readFromPc(rxFree_, due, line, byteTime, now);
        const int left = pending - std::max(due, 0);
        if (left <= 0) {
            receiving_ = false;
        } else {
            const int chunk = std::max(1, static_cast<int>(kChunkSeconds / byteTime));
            nextArrival_ = rxFree_ + byteTime * std::min(left, chunk);
        }
        return open;
    }

    // Reads at most `limit` bytes; byte i came off the wire at start + (i + 1) x byteTime, or
    // now when byteTime is 0 (no pacing).
    bool readFromPc(double start, int limit, sim::LineSettings line, double byteTime, double now) {
        uint8_t buffer[4096];
        while (limit > 0) {
            const size_t want = std::min<size_t>(sizeof buffer, static_cast<size_t>(limit));
            ssize_t n = read(fd_, buffer, want);
            if (n < 0) {
                if (errno != EIO && errno != EAGAIN) trace_.error(now, errno);
                return errno != EIO;
            }
            if (n == 0) return true;
            const double lineByte = sim::ByteTime(line);
            // One trace line per run of bytes that the handset took in the same state.
            ssize_t chunk = 0;
            double chunkAt = now;
            const char* expected = engine().stateName();
            if (byteTime <= 0.0) {
                // Without pacing the server cannot tell when bytes found waiting came: the PC
                // may have written them long before a starved server looked. They kept the line
                // busy up to this look, so no quiet-line timer ran out before them.
                unpacedLineFree_ = std::max(unpacedLineFree_, now);
                engine().lineBusyUntil(unpacedLineFree_);
            }
            for (ssize_t i = 0; i < n; ++i) {
                double at = byteTime > 0.0 ? start + byteTime * static_cast<double>(i + 1) : now;
                at = std::min(at, now);
                if (i == chunk) chunkAt = at;
                if (trace_.active() && engine().stateName() != expected) {
                    trace_.received(chunkAt, expected, buffer + chunk,
                                    static_cast<size_t>(i - chunk));
                    chunk = i;
                    chunkAt = at;
                    expected = engine().stateName();
                }
                tally_.fromPc(at, lineByte);
                engine().receive(buffer[i], line, at);
                if (byteTime <= 0.0) {
                    // The bytes came at once, yet the PC sends no faster than its line rate:
                    // the handset's quiet-line timer starts when they would be through.
                    unpacedLineFree_ += lineByte;
                    engine().lineBusyUntil(unpacedLineFree_);
                }
            }
            trace_.received(chunkAt, expected, buffer + chunk, static_cast<size_t>(n - chunk));
            if (byteTime > 0.0) {
                start += byteTime * static_cast<double>(n);
                rxFree_ = start;
            }
            limit -= static_cast<int>(n);
            if (static_cast<size_t>(n) < want) break;
        }
        return true;
    }

    // Stopped by a signal: the handset takes what the PC has written by now, and the open
    // session ends as if the PC had closed the port.
    void stop(double now) {
        const int pending = PendingFromPc(fd_);
        if (!closed_ && pending > 0) readFromPc(now, pending, pcLine_, 0.0, now);
        endOpenSession(now);
    }

    // False when a stop signal came while the port was closed.
    bool portClosed(double now) {
        endOpenSession(now);
        if (!SleepUntilOpened(endpoint_, false)) return false;
        // What the handset said while nobody listened is lost.
        const double opened = MonotonicNow();
        switchOnNext(opened);
        engine().advanceTo(opened);
        engine().dropArrived(opened);
        return true;
    }

    void endOpenSession(double now) {
        wire_.clear();
        receiving_ = false;
        unpacedLineFree_ = 0.0;
        if (!closed_) {
            // The next opening starts clean: a handset switched off keeps nothing of the line.
            DiscardQueuedBytes(endpoint_);
            // A session is over: its trace, what it left in the flash, then the report that
            // tells it, each on disk before the next.
            trace_.closed(now);
            if (tally_.started()) {
                if (!options_.dumpPath.empty() &&
                    !WriteFlashDump(options_.dumpPath, engine().flash()))
                    std::fprintf(stderr, "dwl-handset-sim: cannot write %s: %s\n",
                                 options_.dumpPath.c_str(), std::strerror(errno));
                const bool tfsWritten = engine().recording().tfsStarts > tfsStartsAtOpen_;
                if (!options_.reportPath.empty() &&
                    !WriteLineReport(options_.reportPath, tally_, engine(), tfsWritten))
                    std::fprintf(stderr, "dwl-handset-sim: cannot write %s: %s\n",
                                 options_.reportPath.c_str(), std::strerror(errno));
            }
            // Closing the port is the only power switch a pseudo-terminal has. Handsets that
            // come one after another stay on until the PC has spoken to them.
            if (plan().count == 0)
                engine().powerOn(now);
            else if (tally_.started())
                endSession(now);
            tally_ = LineTally{};
            engine().forgetReceived();
            tfsStartsAtOpen_ = engine().recording().tfsStarts;
            closed_ = true;
        }
    }

    void writeToPc(double now) {
        std::deque<sim::OutByte>& out = engine().output();
        while (!out.empty() && out.front().readyAt <= now) {
            sim::OutByte b = out.front();
            out.pop_front();
            sim::LineSettings pc{pcLine_.baud, b.settings.parity};
            wire_.push_back(WireByte{engine().deliver(b, pc), b.announcement, b.step});
            if (!b.announcement) tally_.toPc(now, sim::ByteTime(b.settings));
        }
        while (!wire_.empty()) {
            uint8_t chunk[512];
            sim::Step steps[512];
            size_t n = std::min(wire_.size(), sizeof chunk);
            for (size_t i = 0; i < n; ++i) {
                chunk[i] = wire_[i].value;
                steps[i] = wire_[i].step;
            }
            ssize_t written = write(fd_, chunk, n);
            if (written > 0) {
                trace_.sent(now, chunk, steps, static_cast<size_t>(written));
                wire_.erase(wire_.begin(), wire_.begin() + written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN) trace_.error(now, errno);
            // The line is full: announcements are lost, replies wait for room.
            while (!wire_.empty() && wire_.front().announcement)
                wire_.pop_front();
            return;
        }
    }

    const PtyEndpoint& endpoint_;
    int fd_;
    sim::Handset handset_;
    ServeOptions options_;
    HandsetTrace trace_;
    LineTally tally_;
    int tfsStartsAtOpen_ = 0;
    sim::LineSettings pcLine_ = sim::kBootLine;
    std::deque<WireByte> wire_;
    bool closed_ = false;
    // The session of the handset on the line (from 1), and when the next one is switched on.
    int session_ = 1;
    double nextPowerOn_ = sim::kNever;
    // Bytes from the PC are on the wire; rxFree_ is when the last one taken came off it, and
    // nextArrival_ when the next chunk will have.
    bool receiving_ = false;
    double rxFree_ = 0.0;
    double nextArrival_ = 0.0;
    // Without pacing: when the PC's bytes taken so far would be through its line.
    double unpacedLineFree_ = 0.0;
};

} // namespace

int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config,
                 const ServeOptions& options) {
    const auto onPty = [&options](sim::HandsetConfig served) {
        // The handset's replies take their wire time at its own settings, which are the PC's
        // whenever both ends agree.
        served.wirePacing = options.paced;
        served.powerOnDtr = false; // no modem lines: powered at start
        served.wakeUpInterval = 0.020;
        return served;
    };
    ServeOptions onLine = options;
    onLine.sessions.faulty = onPty(options.sessions.faulty);
    onLine.sessions.clean = onPty(options.sessions.clean);
    PtyServer server(endpoint, onPty(config), onLine);
    return server.run();
}

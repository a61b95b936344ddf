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
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

double MonotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads every queued inotify event; true when there was one.
bool DrainOpens(int opensFd) {
    alignas(inotify_event) char events[4096];
    bool any = false;
    while (read(opensFd, events, sizeof events) > 0)
        any = true;
    return any;
}

// Sleeps until the slave is opened. Opens before the call count when `earlierCount`; otherwise
// they are dropped, and a slave that is open by now (the master no longer hung up) ends the
// wait at once.
void SleepUntilOpened(int opensFd, int masterFd, bool earlierCount) {
    if (DrainOpens(opensFd) && earlierCount) return;
    if (!earlierCount) {
        pollfd m{masterFd, 0, 0};
        if (poll(&m, 1, 0) == 0) return;
    }
    pollfd p{opensFd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    DrainOpens(opensFd);
}

// Longest stretch of wire time the server lets pass between two looks at the line while bytes
// stream in either direction: bytes are taken and handed over in chunks of about this length.
constexpr double kChunkSeconds = 0.004;

// Most bytes from the PC that one trace line gathers.
constexpr size_t kTraceGather = 65536;

// The PC's side of the line as the slave holds it. A pseudo-terminal keeps no parity setting
// (the kernel clears it), so the handset's own parity stands in for it.
sim::LineSettings PcLine(int fd, sim::LineSettings fallback, int handsetParity) {
    long baud = 0;
    int parity = 0;
    if (!ReadSlaveLineSettings(fd, &baud, &parity) || baud <= 0) return fallback;
    return sim::LineSettings{baud, parity != 0 ? parity : handsetParity};
}

int PendingFromPc(int fd) {
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) return 0;
    return n;
}

// What the line carried during one opening of the port, from the wake-up byte the PC answered
// to the last byte to the PC. The protocol never has both directions busy at once, so the run
// can take no less than `busy` plus the handset's own waits; the span over that is the run's
// wire ratio.
struct LineTally {
    double start = -1.0; // when the wake-up byte the PC answered went on the wire
    double end = 0.0;    // when the last byte of either direction was through
    double busy = 0.0;   // wire time of every byte, both directions
    unsigned long long toHandset = 0;
    unsigned long long toPc = 0;
};

void WriteReport(const std::string& path, const LineTally& t, double waits) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "span %.6f\nbusy %.6f\nwaits %.6f\nbytes_to_handset %llu\nbytes_to_pc %llu\n",
                 t.end - t.start, t.busy, waits, t.toHandset, t.toPc);
    std::fclose(f);
}

struct WireByte {
    uint8_t value;
    bool announcement;
    sim::Step step;
};

class PtyServer {
  public:
    PtyServer(const PtyEndpoint& endpoint, const sim::HandsetConfig& config, bool paced,
              std::string reportPath, TraceFile* trace)
        : fd_(endpoint.masterFd), opensFd_(endpoint.opensFd), handset_(config), paced_(paced),
          reportPath_(std::move(reportPath)), trace_(trace) {}

    int run() {
        // The handset is powered when the PC first opens the port: nothing before can be heard.
        SleepUntilOpened(opensFd_, fd_, true);
        engine().start(MonotonicNow());
        for (;;) {
            double now = MonotonicNow();
            // Bytes from the PC first, at the times they came off the wire, so that the
            // handset's replies start from those times and not from this look at the line.
            if (!takeFromPc(now)) {
                portClosed(now);
                continue;
            }
            closed_ = false;
            traceOpen(now);
            engine().advanceTo(now);
            writeToPc(now);
            // While bytes from the PC are still on the wire the server does not ask to be
            // woken by them: it comes back when the next chunk has arrived.
            pollfd p{fd_, static_cast<short>(receiving_ ? 0 : POLLIN), 0};
            timespec wait{};
            const bool deadline = waitTime(MonotonicNow(), &wait);
            int rc = ppoll(&p, 1, deadline ? &wait : nullptr, nullptr);
            if (rc < 0 && errno != EINTR) return 1;
            if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) portClosed(MonotonicNow());
        }
    }

  private:
    sim::HandsetEngine& engine() { return handset_.impl(); }

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
        if (!paced_) return readFromPc(now, 1 << 20, line, 0.0, now);

        const int pending = PendingFromPc(fd_);
        if (pending <= 0) {
            receiving_ = false;
            pollfd p{fd_, 0, 0};
            return !(poll(&p, 1, 0) > 0 && (p.revents & POLLHUP));
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

    // Reads at most `limit` bytes; byte i came off the wire at start + (i + 1) x byteTime.
    bool readFromPc(double start, int limit, sim::LineSettings line, double byteTime, double now) {
        uint8_t buffer[4096];
        while (limit > 0) {
            const size_t want = std::min<size_t>(sizeof buffer, static_cast<size_t>(limit));
            ssize_t n = read(fd_, buffer, want);
            if (n < 0) {
                if (errno != EIO && errno != EAGAIN) traceError(now, errno);
                return errno != EIO;
            }
            if (n == 0) return true;
            const double lineByte = sim::ByteTime(line);
            // One trace line per run of bytes that the handset took in the same state.
            ssize_t chunk = 0;
            double chunkAt = now;
            const char* expected = engine().stateName();
            for (ssize_t i = 0; i < n; ++i) {
                double at = byteTime > 0.0 ? start + byteTime * static_cast<double>(i + 1) : now;
                at = std::min(at, now);
                if (i == chunk) chunkAt = at;
                if (trace_ != nullptr && engine().stateName() != expected) {
                    traceChunk(chunkAt, TRACE_PC_TO_HS, expected, buffer + chunk, i - chunk);
                    chunk = i;
                    chunkAt = at;
                    expected = engine().stateName();
                }
                if (tally_.start < 0.0) {
                    // The wake-up byte this answers was on the wire just before.
                    tally_.start = at - lineByte - sim::ByteTime(sim::kBootLine);
                    tally_.busy += sim::ByteTime(sim::kBootLine);
                }
                tally_.busy += lineByte;
                tally_.toHandset++;
                tally_.end = std::max(tally_.end, at);
                engine().receive(buffer[i], line, at);
            }
            traceChunk(chunkAt, TRACE_PC_TO_HS, expected, buffer + chunk, n - chunk);
            if (byteTime > 0.0) {
                start += byteTime * static_cast<double>(n);
                rxFree_ = start;
            }
            limit -= static_cast<int>(n);
            if (static_cast<size_t>(n) < want) break;
        }
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
        flushReceived();
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

    // Bytes from the PC arrive in wire-time slices: they are gathered into one line while the
    // handset stays in the same state, as the PC wrote them in one piece.
    void traceChunk(double now, TraceWhat what, const char* step, const uint8_t* bytes,
                    ssize_t count) {
        if (trace_ == nullptr || count <= 0) return;
        if (what == TRACE_PC_TO_HS) {
            if (!rx_.empty() && (step != rxStep_ || rx_.size() + count > kTraceGather))
                flushReceived();
            if (rx_.empty()) {
                // The line as the handset has it when the first of the bytes comes in.
                traceLeftOut(now);
                traceSettings();
                std::memcpy(rxSettings_, settings_, sizeof rxSettings_);
                rxStep_ = step;
                rxAt_ = now;
            }
            rx_.insert(rx_.end(), bytes, bytes + count);
            return;
        }
        flushReceived();
        traceLeftOut(now);
        traceSettings();
        dwl12_TraceLine(trace_, now - openedAt_, what, settings_, step, bytes,
                        static_cast<size_t>(count), nullptr);
    }

    void flushReceived() {
        if (rx_.empty()) return;
        dwl12_TraceLine(trace_, rxAt_ - openedAt_, TRACE_PC_TO_HS, rxSettings_, rxStep_, rx_.data(),
                        rx_.size(), nullptr);
        rx_.clear();
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
        receiving_ = false;
        if (!closed_ && tally_.start >= 0.0 && !reportPath_.empty()) {
            const sim::Recording& rec = engine().recording();
            int replies = 0;
            for (int n : rec.replies)
                replies += n;
            // The handset's own waits: its turnaround before each reply, and the quiet time
            // after which it takes the extension module as complete.
            double waits = replies * std::max(0.0, engine().config().faults.replyDelay);
            if (!rec.extensionModule.empty()) waits += engine().config().idleGap;
            WriteReport(reportPath_, tally_, waits);
        }
        if (!closed_) tally_ = LineTally{};
        if (!closed_) {
            // Closing the port is the only power switch a pseudo-terminal has.
            closed_ = true;
            if (traceOpen_) {
                traceEvent(now, TRACE_CLOSE, "PC closed the port");
                traceOpen_ = false;
            }
            engine().powerOn(now);
        }
        SleepUntilOpened(opensFd_, fd_, false);
        // What the handset said while nobody listened is lost.
        const double opened = MonotonicNow();
        engine().advanceTo(opened);
        engine().dropArrived(opened);
    }

    void writeToPc(double now) {
        std::deque<sim::OutByte>& out = engine().output();
        if (!out.empty() && out.front().readyAt <= now) {
            while (!out.empty() && out.front().readyAt <= now) {
                sim::OutByte b = out.front();
                out.pop_front();
                sim::LineSettings pc{pcLine_.baud, b.settings.parity};
                wire_.push_back(WireByte{engine().deliver(b, pc), b.announcement, b.step});
                if (!b.announcement && tally_.start >= 0.0) {
                    tally_.busy += sim::ByteTime(b.settings);
                    tally_.toPc++;
                    tally_.end = std::max(tally_.end, now);
                }
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
    int opensFd_;
    sim::Handset handset_;
    bool paced_;
    std::string reportPath_;
    LineTally tally_;
    sim::LineSettings pcLine_ = sim::kBootLine;
    std::deque<WireByte> wire_;
    bool closed_ = false;
    // Bytes from the PC are on the wire; rxFree_ is when the last one taken came off it, and
    // nextArrival_ when the next chunk will have.
    bool receiving_ = false;
    double rxFree_ = 0.0;
    double nextArrival_ = 0.0;
    TraceFile* trace_;
    bool traceOpen_ = false;
    bool lastWasWakeUp_ = false;
    size_t leftOut_ = 0;
    std::vector<uint8_t> rx_; // bytes from the PC not yet written to the trace
    const char* rxStep_ = nullptr;
    double rxAt_ = 0.0;
    char rxSettings_[24] = "";
    double openedAt_ = 0.0;
    sim::LineSettings tracedSettings_;
    char settings_[24] = "";
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
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens < 0 || inotify_add_watch(opens, name, IN_OPEN) < 0) {
        const int error = errno;
        if (opens >= 0) close(opens);
        close(fd);
        errno = error;
        return false;
    }
    endpoint->opensFd = opens;
    endpoint->masterFd = fd;
    endpoint->slavePath = name;
    return true;
}

int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config, bool paced,
                 const std::string& reportPath, TraceFile* trace) {
    sim::HandsetConfig served = config;
    // The handset's replies take their wire time at its own settings, which are the PC's
    // whenever both ends agree.
    served.wirePacing = paced;
    served.powerOnDtr = false; // no modem lines: powered at start
    served.wakeUpInterval = 0.020;
    PtyServer server(endpoint, served, paced, reportPath, trace);
    return server.run();
}

#include "app/handset_sim/pty_server.h"

#include "app/handset_sim/pty_termios2.h"
#include "sim/handset_engine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <utility>

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

// Longest stretch of wire time the server lets pass between two looks at the line while bytes
// stream in either direction: bytes are taken and handed over in chunks of about this length.
constexpr double kChunkSeconds = 0.004;

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
};

class PtyServer {
  public:
    PtyServer(int fd, const sim::HandsetConfig& config, bool paced, std::string reportPath)
        : fd_(fd), handset_(config), paced_(paced), reportPath_(std::move(reportPath)) {}

    int run() {
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
            engine().advanceTo(now);
            writeToPc(now);
            // While bytes from the PC are still on the wire the server does not ask to be
            // woken by them: it comes back when the next chunk has arrived.
            pollfd p{fd_, static_cast<short>(receiving_ ? 0 : POLLIN), 0};
            const timespec wait = waitTime(MonotonicNow());
            int rc = ppoll(&p, 1, &wait, nullptr);
            if (rc < 0 && errno != EINTR) return 1;
            if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) portClosed(MonotonicNow());
        }
    }

  private:
    sim::HandsetEngine& engine() { return handset_.impl(); }

    timespec waitTime(double now) {
        double until = now + kMaxWait;
        until = std::min(until, engine().nextEventTime());
        const std::deque<sim::OutByte>& out = engine().output();
        if (!out.empty()) {
            // A reply goes over whole when it is short; a long stream in chunks.
            double first = out.front().readyAt;
            until = std::min(until, std::min(out.back().readyAt, first + kChunkSeconds));
        }
        if (receiving_) until = std::min(until, nextArrival_);
        if (!wire_.empty()) until = std::min(until, now + 0.002); // the line was full: retry soon
        double wait = std::max(0.0, until - now);
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(wait);
        ts.tv_nsec = static_cast<long>((wait - static_cast<double>(ts.tv_sec)) * 1e9);
        return ts;
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
            if (n < 0) return errno != EIO;
            if (n == 0) return true;
            const double lineByte = sim::ByteTime(line);
            for (ssize_t i = 0; i < n; ++i) {
                double at = byteTime > 0.0 ? start + byteTime * static_cast<double>(i + 1) : now;
                at = std::min(at, now);
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
            if (byteTime > 0.0) {
                start += byteTime * static_cast<double>(n);
                rxFree_ = start;
            }
            limit -= static_cast<int>(n);
            if (static_cast<size_t>(n) < want) break;
        }
        return true;
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
            engine().powerOn(now);
        }
        engine().advanceTo(now);
        engine().dropArrived(now);
        SleepSeconds(0.010);
    }

    void writeToPc(double now) {
        std::deque<sim::OutByte>& out = engine().output();
        if (!out.empty() && out.front().readyAt <= now) {
            while (!out.empty() && out.front().readyAt <= now) {
                sim::OutByte b = out.front();
                out.pop_front();
                sim::LineSettings pc{pcLine_.baud, b.settings.parity};
                wire_.push_back(WireByte{engine().deliver(b, pc), b.announcement});
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
                wire_.erase(wire_.begin(), wire_.begin() + written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            // The line is full: announcements are lost, replies wait for room.
            while (!wire_.empty() && wire_.front().announcement)
                wire_.pop_front();
            return;
        }
    }

    int fd_;
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

int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config, bool paced,
                 const std::string& reportPath) {
    sim::HandsetConfig served = config;
    // The handset's replies take their wire time at its own settings, which are the PC's
    // whenever both ends agree.
    served.wirePacing = paced;
    served.powerOnDtr = false; // no modem lines: powered at start
    served.wakeUpInterval = 0.020;
    PtyServer server(endpoint.masterFd, served, paced, reportPath);
    return server.run();
}

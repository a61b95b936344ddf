#include "bench/qt/paced_station.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kBootSteps = 2;
constexpr int kWriteSteps = 12;
constexpr long kImageBytes = 488000;
constexpr int kSectors = 64;

enum Phase { WAITING, RUNNING, LOST, DONE };

struct Port {
    std::string name, device;
    Phase phase = WAITING;
    double next = 0; // when it acts next, seconds since the start
    int run = 0;
    int step = 0;
    double started = 0;
};

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string utc() {
    const time_t t = time(nullptr);
    tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

class Station {
  public:
    explicit Station(const std::vector<std::string>& names) : begin_(now()) {
        for (size_t i = 0; i < names.size(); i++) {
            Port p;
            p.name = names[i];
            p.device = names[i].rfind("/dev/", 0) == 0 ? names[i] : "/dev/ttyUSB" + names[i];
            p.next = 2 + 0.25 * static_cast<double>(i);
            ports_.push_back(p);
        }
    }

    int run() {
        std::string list;
        for (const Port& p : ports_)
            list += (list.empty() ? "\"" : ",\"") + p.name + "\"";
        emit(R"({"event":"station_started","time":")" + utc() + R"(","station":"bench","ports":[)" +
             list +
             R"(],"mode":"binary","baud":460800,"images":[{"kind":"binary",)"
             R"("path":"/srv/images/sw-4.2.bin","size":488000,"byte_sum":62170583}],)"
             R"("results":"/srv/station/results.sqlite"})");
        for (const Port& p : ports_)
            emit(head(p, "waiting") + "}");
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        sigprocmask(SIG_BLOCK, &interrupt, nullptr);
        for (;;) {
            double next = 1e300;
            for (const Port& p : ports_)
                if (p.phase != DONE) next = std::min(next, p.next);
            if (next == 1e300) break;
            const double wait = std::max(0.0, next - (now() - begin_));
            timespec until{
                static_cast<time_t>(wait),
                static_cast<long>((wait - static_cast<double>(static_cast<time_t>(wait))) * 1e9)};
            if (sigtimedwait(&interrupt, nullptr, &until) == SIGINT) {
                if (++interrupts_ >= 2) return cancel();
                for (Port& p : ports_)
                    if (p.phase != RUNNING) p.phase = DONE;
                continue;
            }
            const double t = now() - begin_;
            for (Port& p : ports_)
                if (p.phase != DONE && p.next <= t) act(p, t);
        }
        totals();
        emit(R"({"event":"station_stopped","time":")" + utc() + R"(","reason":"interrupted"})");
        return 0;
    }

  private:
    void emit(const std::string& line) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    std::string head(const Port& p, const char* event) {
        return std::string(R"({"event":")") + event + R"(","time":")" + utc() + R"(","port":")" +
               p.name + R"(","device":")" + p.device + "\"";
    }

    std::string runHead(const Port& p, const char* event) {
        return head(p, event) + R"(,"run_id":"bench-)" + p.name + "-" + std::to_string(p.run) +
               "\"";
    }

    void act(Port& p, double t) {
        if (p.phase == LOST) {
            emit(head(p, "port_back") + "}");
            emit(head(p, "waiting") + "}");
            p.phase = WAITING;
            p.next = t + 2;
            return;
        }
        if (p.phase == WAITING) {
            if (interrupts_ > 0) {
                p.phase = DONE;
                return;
            }
            if (p.name == ports_[std::min<size_t>(5, ports_.size() - 1)].name && p.run == 2 &&
                !lostOnce_) {
                lostOnce_ = true;
                emit(head(p, "port_lost") + R"(,"reason":"No such device"})");
                p.phase = LOST;
                p.next = t + 15;
                return;
            }
            p.run++;
            p.step = 0;
            p.started = t;
            emit(runHead(p, "run_started") + "}");
            p.phase = RUNNING;
            p.next = t + 1;
            return;
        }
        p.step++;
        if (p.step <= kBootSteps + kWriteSteps) {
            progress(p, t);
            p.next = t + 1;
            return;
        }
        end(p, t, false);
        emit(head(p, "waiting") + "}");
        p.phase = interrupts_ > 0 ? DONE : WAITING;
        p.next = t + 3 + 0.5 * static_cast<double>(p.run % 4);
    }

    void progress(const Port& p, double t) {
        char text[256];
        if (p.step <= kBootSteps) {
            std::snprintf(text, sizeof text,
                          R"(,"stage":"booting","image":null,"bytes_done":%d,"bytes_total":4001,)"
                          R"("percent":%d,"bytes_per_second":3840,"eta_seconds":null})",
                          2000 * p.step, 50 * p.step);
        } else {
            const int w = p.step - kBootSteps;
            const long done = kImageBytes * w / kWriteSteps;
            const double elapsed = t - p.started;
            std::snprintf(text, sizeof text,
                          R"(,"stage":"writing","image":"binary","bytes_done":%ld,)"
                          R"("bytes_total":%ld,"percent":%ld,"bytes_per_second":%.0f,)"
                          R"("eta_seconds":%d})",
                          done, kImageBytes, done * 100 / kImageBytes,
                          static_cast<double>(done) / std::max(elapsed, 1.0), kWriteSteps - w);
        }
        emit(runHead(p, "progress") + text);
    }

    void end(Port& p, double t, bool cancelled) {
        const bool passed = !cancelled && p.run % 5 != 0;
        const double duration = t - p.started;
        std::string sectors;
        for (int i = 0; i < kSectors; i++) {
            char sector[160];
            std::snprintf(sector, sizeof sector,
                          R"(%s{"image":"binary","address":%d,"size":8192,"bytes_sent":8192,)"
                          R"("tries":1,"result":"%s"})",
                          i == 0 ? "" : ",", 0x02000000 + 8192 * i,
                          passed || i < kSectors / 2 ? "written" : "untouched");
            sectors += sector;
        }
        const char* message = cancelled ? "Download cancelled by the operator"
                              : passed  ? "Download successful"
                                        : "Problem : Error during the sector donwload";
        char text[512];
        std::snprintf(text, sizeof text,
                      R"(,"passed":%s,"cancelled":%s,"duration_s":%.1f,"result":{"exit_status":%d,)"
                      R"("result":{"family":%d,"code":%d,"message":"%s"},"port":"%s",)"
                      R"("device":"%s","mode":1,"baud":460800,"elapsed_seconds":%.1f,)"
                      R"("bytes_written":%ld,"sectors":[)",
                      passed ? "true" : "false", cancelled ? "true" : "false", duration,
                      passed      ? 0
                      : cancelled ? 130
                                  : 9,
                      passed ? 0 : 9, passed ? 0 : 1, message, p.name.c_str(), p.device.c_str(),
                      duration, passed ? kImageBytes : 0L);
        emit(runHead(p, "run_ended") + text + sectors + "]}}");
        (passed ? pass_ : fail_)++;
        durations_.push_back(duration);
        totals();
    }

    void totals() {
        std::vector<double> sorted = durations_;
        std::sort(sorted.begin(), sorted.end());
        const long runs = pass_ + fail_;
        const double hours = (now() - begin_) / 3600.0;
        char text[256];
        if (runs == 0) {
            std::snprintf(text, sizeof text,
                          R"(,"pass":0,"fail":0,"yield_percent":null,"median_s":null,)"
                          R"("per_hour":null})");
        } else {
            std::snprintf(text, sizeof text,
                          R"(,"pass":%ld,"fail":%ld,"yield_percent":%.1f,"median_s":%.1f,)"
                          R"("per_hour":%.0f})",
                          pass_, fail_,
                          100.0 * static_cast<double>(pass_) / static_cast<double>(runs),
                          sorted[sorted.size() / 2], static_cast<double>(runs) / hours);
        }
        emit(R"({"event":"totals","time":")" + utc() + "\"" + text);
    }

    int cancel() {
        const double t = now() - begin_;
        for (Port& p : ports_)
            if (p.phase == RUNNING) end(p, t, true);
        emit(R"({"event":"station_stopped","time":")" + utc() + R"(","reason":"cancelled"})");
        return 130;
    }

    std::vector<Port> ports_;
    double begin_;
    int interrupts_ = 0;
    bool lostOnce_ = false;
    long pass_ = 0, fail_ = 0;
    std::vector<double> durations_;
};

} // namespace

int paced_station_Run(const std::vector<std::string>& ports) {
    Station station(ports);
    return station.run();
}

// A production station at scale: `dwl station` over N ports (default 32), each with a paced
// dwl-handset-sim on its pseudo-terminal that brings two handsets one after the other; the
// station writes examples/sample.bin at 460800 baud into every one. Printed:
//   - the station's CPU time (user + system, its port processes included, from wait4) over
//     its wall time, as a share of one core; target at most 0.10;
//   - the wire ratio of every port's last handset: the span of its line activity over the
//     wire time of its bytes plus the handset's own waits (the worst port); target at most 1.02.
// Usage: bench_station [PORTS]
#include "bench/pty_programs.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace ptybench;

namespace {

constexpr int kHandsetsPerPort = 2;

// Reads the station's event lines until `runs` runs have ended or the deadline passes;
// returns the runs that passed.
int CountRuns(int fd, int runs, double seconds, int* ended) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string text;
    int passed = 0;
    *ended = 0;
    while (*ended < runs) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buffer[65536];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
        for (size_t nl; (nl = text.find('\n')) != std::string::npos; text.erase(0, nl + 1)) {
            const std::string line = text.substr(0, nl);
            if (line.find("\"event\":\"run_ended\"") == std::string::npos) continue;
            ++*ended;
            if (line.find("\"passed\":true") != std::string::npos) ++passed;
        }
    }
    return passed;
}

} // namespace

int main(int argc, char** argv) {
    const std::string dwl = FindProgram(argv[0], "dwl");
    const std::string sim = FindProgram(argv[0], "dwl-handset-sim");
    if (dwl.empty() || sim.empty()) {
        std::fprintf(stderr, "bench: dwl and dwl-handset-sim must be built beside bench/\n");
        return 1;
    }
    const std::string examples = ExamplesDir();
    const int ports = argc > 1 ? std::max(1, std::atoi(argv[1])) : 32;
    char scratch[] = "/tmp/dwl-bench-station-XXXXXX";
    if (!mkdtemp(scratch)) return 1;

    std::vector<Handset> handsets(static_cast<size_t>(ports));
    bool ok = true;
    for (int i = 0; i < ports && ok; ++i) {
        ok = StartHandset(
            sim, examples, {"--sessions", std::to_string(kHandsetsPerPort), "--gap", "1"},
            std::string(scratch) + "/line." + std::to_string(i), &handsets[static_cast<size_t>(i)]);
    }
    if (!ok) std::fprintf(stderr, "bench: dwl-handset-sim did not start\n");

    double wall = 0, user = 0, system = 0;
    int passed = 0, ended = 0;
    if (ok) {
        std::vector<std::string> args = {dwl,
                                         "station",
                                         "--json-lines",
                                         "-C",
                                         examples,
                                         "--speed",
                                         "460800",
                                         "--bin",
                                         examples + "/sample.bin",
                                         "--results",
                                         std::string(scratch) + "/results.sqlite"};
        for (const Handset& h : handsets) {
            args.push_back("-p");
            args.push_back(h.device);
        }
        const auto start = std::chrono::steady_clock::now();
        ChildHandle station;
        Spawn(args, true, &station);
        const int events = station.out;
        passed = CountRuns(events, ports * kHandsetsPerPort, 300, &ended);
        // Every handset is through: one Ctrl-C stops the ports that wait for the next.
        dwl_SignalChild(station, SIGINT);
        CountRuns(events, 1, 30, &ended);
        int status = 0;
        dwl_WaitChild(&station, -1, &status);
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        user = station.userSeconds;
        system = station.systemSeconds;
        close(events);
        ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && passed == ports * kHandsetsPerPort;
        if (!ok)
            std::fprintf(stderr, "bench: the station ended with status %d, %d runs passed\n",
                         status, passed);
    }

    double worst = 0;
    for (Handset& h : handsets) {
        // Stopped, the handset program has ended its session: its report is whole on disk.
        StopHandset(&h);
        double ratio = 0;
        if (ok) ok = WireRatio(h, &ratio);
        worst = std::max(worst, ratio);
    }
    const double share = wall > 0 ? (user + system) / wall : 0;
    std::printf("dwl station: %d ports, %d paced handsets each, sample.bin (300000 bytes) at "
                "460800 baud\n",
                ports, kHandsetsPerPort);
    std::printf("runs passed %d of %d; wall %.2f s; station cpu user %.3f s + sys %.3f s = %.4f "
                "of one core %s; worst wire ratio %.4f %s\n",
                passed, ports * kHandsetsPerPort, wall, user, system, share,
                share <= 0.10 ? "ok" : "OVER", worst, worst <= 1.02 ? "ok" : "OVER");
    std::printf("targets: cpu <= 0.10 of one core, the station and its port processes; every "
                "port within 1.02 of the wire's time\n");
    std::string cleanup = std::string("rm -rf ") + scratch;
    if (std::system(cleanup.c_str()) != 0) return 1;
    return ok && share <= 0.10 && worst <= 1.02 ? 0 : 1;
}

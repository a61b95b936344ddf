// The tool on real serial-port code against paced emulated handsets: for 1, 4 and 8 ports at
// once, `dwl flash` writes examples/sample.bin (or an image of --image-kb kilobytes) at 460800
// baud into one dwl-handset-sim per port, each on its pseudo-terminal and keeping the wire's pace.
// Printed per row:
//   - the tool's CPU time (user + system, its port processes included) over the wall time of
//     the run; targets: at most 0.03 for one port, at most 0.10 of one core for 8 ports;
//   - the wire ratio: the span of each handset's line activity over the wire time of the bytes
//     it carried plus its own waits (the worst port); target at most 1.005 for one port, 1.01
//     for several.
// Then one handset program left alone with its port closed: how often it wakes (at most 10).
// Usage: bench_pty_ports [--image-kb N] [PORTS...]   (default 1 4 8)
#include "bench/pty_programs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace ptybench;

namespace {

// One row: `ports` handsets, one `dwl flash` over all of them. False when the run failed.
bool Row(int ports, const std::string& dwl, const std::string& sim, const std::string& examples,
         const std::string& image, const std::string& scratch) {
    std::vector<Handset> handsets(static_cast<size_t>(ports));
    bool ok = true;
    for (int i = 0; i < ports; ++i) {
        const std::string report =
            scratch + "/line." + std::to_string(ports) + "." + std::to_string(i);
        unlink(report.c_str());
        if (!StartHandset(sim, examples, {}, report, &handsets[static_cast<size_t>(i)])) {
            std::fprintf(stderr, "bench: dwl-handset-sim did not start\n");
            ok = false;
            break;
        }
    }

    double wall = 0, cpu = 0, user = 0, system = 0;
    int status = -1;
    if (ok) {
        std::vector<std::string> args = {dwl,       "flash",  "-C",    examples,
                                         "--speed", "460800", "--bin", image};
        for (const Handset& h : handsets) {
            args.push_back("-p");
            args.push_back(h.device);
        }
        const auto start = std::chrono::steady_clock::now();
        ChildHandle flash;
        if (Spawn(args, false, &flash)) dwl_WaitChild(&flash, -1, &status);
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        user = flash.userSeconds;
        system = flash.systemSeconds;
        cpu = user + system;
        ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok) std::fprintf(stderr, "bench: dwl flash failed (status %d)\n", status);
    }

    // A handset program stopped has ended its session: its report is whole on disk.
    double simCpu = 0;
    for (Handset& h : handsets)
        simCpu += StopHandset(&h);
    double worstRatio = 0;
    for (const Handset& h : handsets) {
        if (!ok) break;
        double ratio = 0;
        if (!WireRatio(h, &ratio)) {
            std::fprintf(stderr, "bench: no line figures from %s\n", h.device.c_str());
            ok = false;
            break;
        }
        worstRatio = std::max(worstRatio, ratio);
    }
    if (!ok) return false;

    const double share = cpu / wall;
    const double target = ports == 1 ? 0.03 : 0.10;
    const bool shareMet = ports == 1 || ports == 8 ? share <= target : true;
    const double ratioTarget = ports == 1 ? 1.005 : 1.01;
    std::printf("%5d  %6.2f  %6.3f  %6.3f  %8.4f %-4s  %10.4f %-4s  %8.3f\n", ports, wall, user,
                system, share, ports == 1 || ports == 8 ? (shareMet ? "ok" : "OVER") : "",
                worstRatio, worstRatio <= ratioTarget ? "ok" : "OVER", simCpu);
    std::fflush(stdout);
    return true;
}

// A handset program that nobody talks to: 1 s before the PC ever opens its port, then the port
// opened and closed at once, then 2 s closed. It should sleep all along: its voluntary
// context switches count its wake-ups. False when the target is missed or it did not start.
bool IdleRow(const std::string& sim, const std::string& examples) {
    Handset h;
    const bool ok = StartHandset(sim, examples, {}, "", &h);
    if (ok) {
        usleep(1000000);
        const int fd = open(h.device.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) close(fd);
        usleep(2000000);
    }
    // Its wake-ups are its voluntary context switches, read as it ends.
    if (h.child.pid > 0) {
        dwl_SignalChild(h.child, SIGTERM);
        dwl_WaitChild(&h.child, -1, nullptr);
    }
    const ChildHandle usage = h.child;
    StopHandset(&h);
    if (!ok) {
        std::fprintf(stderr, "bench: dwl-handset-sim did not start\n");
        return false;
    }
    const long wakeUps = usage.voluntarySwitches;
    std::printf("idle handset program, 3 s with its port closed: %ld wake-ups %-4s cpu %.3f s\n",
                wakeUps, wakeUps <= 10 ? "ok" : "OVER", usage.userSeconds + usage.systemSeconds);
    return wakeUps <= 10;
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
    if (access((examples + "/sample.bin").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "bench: no %s/sample.bin; set DWL_SOURCE_DIR\n", examples.c_str());
        return 1;
    }
    char scratch[] = "/tmp/dwl-bench-XXXXXX";
    if (!mkdtemp(scratch)) return 1;

    std::vector<int> rows;
    long imageKb = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--image-kb") == 0 && i + 1 < argc) {
            imageKb = std::max(1L, std::atol(argv[++i]));
            continue;
        }
        rows.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (rows.empty()) rows = {1, 4, 8};

    // An image of its own size: bytes that look like code, neither all erased nor all zero.
    std::string image = examples + "/sample.bin";
    if (imageKb > 0) {
        image = std::string(scratch) + "/image.bin";
        std::string bytes(static_cast<size_t>(imageKb) * 1024, '\0');
        uint32_t x = 2463534242u;
        for (char& b : bytes) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = static_cast<char>(x);
        }
        std::ofstream(image, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::ifstream sized(image, std::ios::binary | std::ios::ate);
    std::printf("%s (%lld bytes) at 460800 baud into paced dwl-handset-sim, one per port\n",
                imageKb > 0 ? "an image" : "sample.bin", static_cast<long long>(sized.tellg()));
    std::printf("ports  wall s  user s  sys s   cpu/wall       wire ratio       sims cpu s\n");
    bool all = true;
    for (int ports : rows)
        all = Row(ports, dwl, sim, examples, image, scratch) && all;
    all = IdleRow(sim, examples) && all;
    std::printf("targets: cpu/wall <= 0.03 for 1 port, <= 0.10 (of one core) for 8 ports; wire "
                "ratio <= 1.005 for 1 port, <= 1.01 for several; an idle handset program wakes "
                "at most 10 times\n");
    std::string cleanup = std::string("rm -rf ") + scratch;
    if (std::system(cleanup.c_str()) != 0) return 1;
    return all ? 0 : 1;
}

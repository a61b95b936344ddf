// dwl-handset-sim: the emulated handset on a pseudo-terminal. Prints the device to open on its
// first line, then serves the handset in real time until it is killed, every byte paced at the
// wire's rate unless --instant.
#include "app/handset_sim/pty_server.h"
#include "dwl_version.h"
#include "sim/fault_options.h"
#include "sim/handset.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string StepList() {
    std::string names;
    for (int i = 1; i < static_cast<int>(sim::Step::Count); ++i) {
        if (!names.empty()) names += ", ";
        names += sim::StepName(static_cast<sim::Step>(i));
    }
    return names;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Emulated PCF5087 handset on a pseudo-terminal"};
    app.set_version_flag("--version", "dwl-handset-sim " DWL_VERSION);
    sim::HandsetConfig config = sim::DefaultConfig();

    std::string flashFile;
    sim::FaultOptions typed;
    int noise = 0;
    double delay = 0.0, lineErrors = 0.0;
    uint64_t seed = 1;
    bool powerAtStart = false;
    std::string traceFile, traceData;
    bool instant = false;
    double latencyMs = 0.0;
    std::string reportPath, dumpPath;
    int sessions = 0;
    double gap = 1.0;
    std::string failSessions;

    app.add_option("--flash", flashFile,
                   "Flash description file (default: flash.txt of the data folder)");
    app.add_option("--manufacturer", typed.manufacturer, "Manufacturer code the flash reports");
    app.add_option("--device", typed.device, "Device code the flash reports");
    app.add_option("--extra-id", typed.extraId,
                   "Extra identification byte (0x01/0xEC with 0xE3/0xE4)");
    app.add_option("--silent-from", typed.silentFrom,
                   "Fall silent at STEP[:N]; steps: " + StepList());
    app.add_option("--wrong-reply", typed.wrongReply,
                   "A wrong first byte in the reply of STEP[:N]");
    app.add_option("--noise", noise, "Random bytes before the first 0xBE")
        ->check(CLI::Range(0, 100000));
    app.add_option("--reject-sector", typed.rejectSectors,
                   "Answer 0xCD once for the sector at ADDR");
    app.add_option("--bad-checksum", typed.badChecksums,
                   "A wrong checksum once for the sector at ADDR");
    app.add_option("--tfs-start-error", typed.tfsStartError, "Answer the TFS start with A1 or A5");
    app.add_option("--delay", delay, "Delay every reply by S seconds")
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--latency", latencyMs,
                   "Turnaround of a USB adapter before each reply, in milliseconds")
        ->check(CLI::Range(0.0, 60000.0));
    app.add_flag("--instant", instant,
                 "No wire pacing: bytes pass as fast as the pseudo-terminal carries them");
    app.add_option("--report", reportPath,
                   "After each run (the PC closes the port) write the line's figures and a digest "
                   "of what the handset wrote to FILE");
    app.add_option("--dump", dumpPath,
                   "After each run (the PC closes the port) write the whole flash to FILE");
    app.add_option("--line-errors", lineErrors, "Probability per byte of a garbled byte")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--disconnect", typed.disconnectAt, "Pull the cable at STEP[:N]");
    app.add_option("--seed", seed, "Seed of the random faults");
    app.add_flag("--power-at-start", powerAtStart,
                 "Powered from the start (always so on a pseudo-terminal, which has no DTR)");
    app.add_option("--trace", traceFile,
                   "Write a trace of the line, as the handset sees it, to FILE (the format of "
                   "dwl --trace)");
    app.add_option("--trace-data", traceData,
                   "summary (default: bulk data as first and last 16 bytes, count, sum) or full");
    app.add_option("--sessions", sessions,
                   "Handsets one after another: each is served once, and once the PC has let go "
                   "of the port the next is switched on --gap seconds later (default: one "
                   "handset, powered again at every opening)")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--gap", gap, "Seconds between one handset of --sessions and the next")
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--fail-sessions", failSessions,
                   "Only these sessions (2,5; from 1) get the faults given; the others none");
    CLI11_PARSE(app, argc, argv);

    auto fail = [](const std::string& what) {
        std::fprintf(stderr, "dwl-handset-sim: %s\n", what.c_str());
        return 2;
    };
    if (!flashFile.empty()) config.flashFile = flashFile;
    sim::FaultConfig& faults = config.faults;
    faults.seed = seed;
    faults.noiseBeforeWakeUp = noise;
    faults.replyDelay = delay + latencyMs / 1000.0;
    faults.lineErrorRate = lineErrors;
    const std::string problem = sim::ApplyFaultOptions(typed, "--", &config);
    if (!problem.empty()) return fail(problem);
    config.powerOnDtr = !powerAtStart; // a pseudo-terminal powers at start either way
    SessionPlan plan;
    plan.count = sessions;
    plan.gap = gap;
    if (!failSessions.empty() && sessions == 0) return fail("--fail-sessions needs --sessions");
    if (!failSessions.empty()) {
        const std::string wrong = ParseFailingSessions(failSessions, sessions, &plan.failing);
        if (!wrong.empty()) return fail(wrong);
    }
    plan.faulty = config;
    plan.clean = sim::HandsetConfig(config);
    plan.clean.faults = sim::FaultConfig{};
    plan.clean.faults.seed = seed;
    plan.clean.faults.replyDelay = latencyMs / 1000.0; // the cable's, not the handset's

    if (sim::Handset(config).flashSize() == 0) {
        std::fprintf(stderr,
                     "dwl-handset-sim: warning: no flash 0x%02X/0x%02X described in %s; every "
                     "sector command will be refused\n",
                     config.manufacturerId, config.deviceId, config.flashFile.c_str());
    }
    TraceFile trace = {nullptr, traceData == "full"};
    if (!traceData.empty() && traceData != "full" && traceData != "summary")
        return fail("--trace-data takes summary or full");
    if (!traceFile.empty()) {
        trace.file = std::fopen(traceFile.c_str(), "w");
        if (trace.file == nullptr)
            return fail("cannot write " + traceFile + ": " + std::strerror(errno));
        std::setvbuf(trace.file, nullptr, _IOFBF, 1 << 16);
    }
    std::signal(SIGPIPE, SIG_IGN);
    PtyEndpoint endpoint;
    if (!WatchStopSignals(&endpoint)) {
        std::perror("dwl-handset-sim: stop signals");
        return 1;
    }
    if (!OpenPty(&endpoint)) {
        std::perror("dwl-handset-sim: pseudo-terminal");
        return 1;
    }
    std::printf("dwl-handset-sim: %s\n", endpoint.slavePath.c_str());
    std::fflush(stdout);
    ServeOptions options;
    options.paced = !instant;
    options.reportPath = reportPath;
    options.dumpPath = dumpPath;
    options.trace = trace.file != nullptr ? &trace : nullptr;
    options.sessions = plan;
    return ServeHandset(endpoint, config, options);
}

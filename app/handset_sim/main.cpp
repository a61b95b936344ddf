// dwl-handset-sim: the emulated handset on a pseudo-terminal. Prints the device to open on its
// first line, then serves the handset in real time until it is killed, every byte paced at the
// wire's rate unless --instant.
#include "app/handset_sim/pty_server.h"
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

// "STEP" or "STEP:N" (the nth occurrence, from 0).
bool ParseStepOption(const std::string& text, sim::Step* step, int* occurrence) {
    std::string name = text;
    *occurrence = 0;
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        name = text.substr(0, colon);
        char* end = nullptr;
        long n = std::strtol(text.c_str() + colon + 1, &end, 0);
        if (*end != '\0' || n < 0 || n > 1000000000L) return false;
        *occurrence = static_cast<int>(n);
    }
    *step = sim::ParseStep(name.c_str());
    return *step != sim::Step::Count && *step != sim::Step::None;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || text[0] == '-' || v > max) return false;
    *value = static_cast<unsigned long>(v);
    return true;
}

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
    sim::HandsetConfig config = sim::DefaultConfig();

    std::string flashFile, manufacturer, device, extraId;
    std::string silentFrom, wrongReply, disconnectAt, tfsStartError;
    std::vector<std::string> rejectSectors, badChecksums;
    int noise = 0;
    double delay = 0.0, lineErrors = 0.0;
    uint64_t seed = 1;
    bool powerAtStart = false;
    bool instant = false;
    double latencyMs = 0.0;
    std::string reportPath;

    app.add_option("--flash", flashFile, "Flash description file (default: examples/flash.txt)");
    app.add_option("--manufacturer", manufacturer, "Manufacturer code the flash reports");
    app.add_option("--device", device, "Device code the flash reports");
    app.add_option("--extra-id", extraId, "Extra identification byte (0x01/0xEC with 0xE3/0xE4)");
    app.add_option("--silent-from", silentFrom, "Fall silent at STEP[:N]; steps: " + StepList());
    app.add_option("--wrong-reply", wrongReply, "A wrong first byte in the reply of STEP[:N]");
    app.add_option("--noise", noise, "Random bytes before the first 0xBE")
        ->check(CLI::Range(0, 100000));
    app.add_option("--reject-sector", rejectSectors, "Answer 0xCD once for the sector at ADDR");
    app.add_option("--bad-checksum", badChecksums, "A wrong checksum once for the sector at ADDR");
    app.add_option("--tfs-start-error", tfsStartError, "Answer the TFS start with A1 or A5");
    app.add_option("--delay", delay, "Delay every reply by S seconds")
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--latency", latencyMs,
                   "Turnaround of a USB adapter before each reply, in milliseconds")
        ->check(CLI::Range(0.0, 60000.0));
    app.add_flag("--instant", instant,
                 "No wire pacing: bytes pass as fast as the pseudo-terminal carries them");
    app.add_option("--report", reportPath,
                   "After each run (the PC closes the port) write the line's figures to FILE");
    app.add_option("--line-errors", lineErrors, "Probability per byte of a garbled byte")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--disconnect", disconnectAt, "Pull the cable at STEP[:N]");
    app.add_option("--seed", seed, "Seed of the random faults");
    app.add_flag("--power-at-start", powerAtStart,
                 "Powered from the start (always so on a pseudo-terminal, which has no DTR)");
    CLI11_PARSE(app, argc, argv);

    auto fail = [](const std::string& what) {
        std::fprintf(stderr, "dwl-handset-sim: %s\n", what.c_str());
        return 2;
    };
    unsigned long value = 0;
    if (!flashFile.empty()) config.flashFile = flashFile;
    if (!manufacturer.empty()) {
        if (!ParseNumber(manufacturer, 255, &value)) return fail("bad --manufacturer");
        config.manufacturerId = static_cast<uint8_t>(value);
    }
    if (!device.empty()) {
        if (!ParseNumber(device, 255, &value)) return fail("bad --device");
        config.deviceId = static_cast<uint8_t>(value);
    }
    if (!extraId.empty()) {
        if (!ParseNumber(extraId, 255, &value)) return fail("bad --extra-id");
        config.extraIdByte = static_cast<uint8_t>(value);
    }
    sim::FaultConfig& faults = config.faults;
    faults.seed = seed;
    faults.noiseBeforeWakeUp = noise;
    faults.replyDelay = delay + latencyMs / 1000.0;
    faults.lineErrorRate = lineErrors;
    if (!silentFrom.empty() &&
        !ParseStepOption(silentFrom, &faults.silentFrom, &faults.silentOccurrence))
        return fail("bad --silent-from");
    if (!wrongReply.empty() &&
        !ParseStepOption(wrongReply, &faults.wrongReplyAt, &faults.wrongReplyOccurrence))
        return fail("bad --wrong-reply");
    if (!disconnectAt.empty() &&
        !ParseStepOption(disconnectAt, &faults.disconnectAt, &faults.disconnectOccurrence))
        return fail("bad --disconnect");
    for (const std::string& a : rejectSectors) {
        if (!ParseNumber(a, 0xFFFFFFFFul, &value)) return fail("bad --reject-sector");
        faults.rejectSectors.push_back(static_cast<uint32_t>(value));
    }
    for (const std::string& a : badChecksums) {
        if (!ParseNumber(a, 0xFFFFFFFFul, &value)) return fail("bad --bad-checksum");
        faults.badChecksumSectors.push_back(static_cast<uint32_t>(value));
    }
    if (!tfsStartError.empty()) {
        if (tfsStartError == "A1" || tfsStartError == "a1" || tfsStartError == "0xA1")
            faults.tfsStartError = 0xA1;
        else if (tfsStartError == "A5" || tfsStartError == "a5" || tfsStartError == "0xA5")
            faults.tfsStartError = 0xA5;
        else
            return fail("--tfs-start-error takes A1 or A5");
    }
    config.powerOnDtr = !powerAtStart; // a pseudo-terminal powers at start either way

    if (sim::Handset(config).flashSize() == 0) {
        std::fprintf(stderr,
                     "dwl-handset-sim: warning: no flash 0x%02X/0x%02X described in %s; every "
                     "sector command will be refused\n",
                     config.manufacturerId, config.deviceId, config.flashFile.c_str());
    }
    std::signal(SIGPIPE, SIG_IGN);
    PtyEndpoint endpoint;
    if (!OpenPty(&endpoint)) {
        std::perror("dwl-handset-sim: pseudo-terminal");
        return 1;
    }
    std::printf("dwl-handset-sim: %s\n", endpoint.slavePath.c_str());
    std::fflush(stdout);
    return ServeHandset(endpoint, config, !instant, reportPath);
}

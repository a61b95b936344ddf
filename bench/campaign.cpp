// Long fault campaign: seeded whole runs of modes 0 to 6 against the emulated handset with
// random faults and random line corruption, in virtual time. Each run goes in a child process,
// so that a crash or a hang is counted instead of ending the campaign. A run may fail in any
// way; it must never report success unless the handset holds exactly the images of its mode
// (a false success), and it must end within the protocol's worst-case time-out budget.
//   bench_campaign [runs] [seed]      (defaults 10000, 20240611)
//   bench_campaign [runs] [seed] [i]  replays run i in-process and shows what the handset got
#include "bench/timeout_budget.h"
#include "boot/dwl1boot.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "link/child_process.h"
#include "procedure/dwl3_modes.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "sim/handset.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kManufacturer = 137;
constexpr uint8_t kDevice = 24;
constexpr uint32_t kClaSize = 20000;
constexpr uint32_t kOgmSize = 9000;
constexpr unsigned kRealSecondsPerRun = 60; // a child still running then is a hang

const char kFlashText[] = "NEW_FLASH\r\n"
                          "MANUFACTURER_NAME : CAMPAIGN\r\n"
                          "DEVICE_NAME : C16M\r\n"
                          "BASEBAND_PRODUCT : PCF5087\r\n"
                          "MANUFACTURER_ID : 137\r\n"
                          "DEVICE_ID : 24\r\n"
                          "NB_BANKS : 1\r\n"
                          "NB_SECTORS : 263\r\n"
                          "START_SECTOR_DESCRITPION\r\n"
                          "0-7*8192*0\r\n"
                          "8-262*65536*0\r\n"
                          "END_SECTOR_DESCRIPTION\r\n"
                          "END_FLASH\r\n";

const char kTfsText[] = "TFSVERSION : TFS2.1\r\n"
                        "NUM_DIR : 2\r\n"
                        "MAXFILES : 5\r\n"
                        "SET_DIR\r\n"
                        "DIR_NAME : /sys\r\n"
                        "DIR_NAME : /sys/fonts\r\n"
                        "END_DIR\r\n"
                        "SET_FILE\r\n"
                        "FILE_NAME : /sys/a.cfg\r\n"
                        "FILE_SIZE : 10\r\n"
                        "FILE_NAME : /sys/fonts/big.fnt\r\n"
                        "FILE_SIZE : 20000\r\n"
                        "FILE_NAME : /sys/empty\r\n"
                        "FILE_SIZE : 0\r\n"
                        "FILE_NAME : /sys/fonts/b\r\n"
                        "FILE_SIZE : 8192\r\n"
                        "END_FILE\r\n"
                        "END_TFS\r\n";

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

void WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(data, 1, size, f) != size) {
        std::perror(path.c_str());
        std::exit(2);
    }
    fclose(f);
}

// The working folder of the runs: handset programs and the flash description.
std::string SetUpFolder() {
    char folder[] = "/tmp/dwl-campaign-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
        std::perror("campaign folder");
        std::exit(2);
    }
    const Bytes boot = Pattern(3000, 87), module = Pattern(2000, 88);
    WriteFile("dwl87.spm", boot.data(), boot.size());
    WriteFile("dwl88.spm", module.data(), module.size());
    WriteFile("flash.txt", kFlashText, sizeof kFlashText - 1);
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    std::memset(&vg_TFSDescritpion, 0, sizeof vg_TFSDescritpion);
    if (dwl10_102ParseFlashDescription(reinterpret_cast<const uint8_t*>(kFlashText),
                                       sizeof kFlashText - 1, &vg_FlashDescritpion) != 1 ||
        dwl10_204ParseTFSDescription(reinterpret_cast<const uint8_t*>(kTfsText),
                                     sizeof kTfsText - 1, &vg_TFSDescritpion) != 1) {
        std::fprintf(stderr, "campaign: bad built-in descriptions\n");
        std::exit(2);
    }
    return folder;
}

sim::Step RandomStep(std::mt19937& rng) {
    const int lo = static_cast<int>(sim::Step::BootstrapHello);
    const int hi = static_cast<int>(sim::Step::SwitchOff);
    return static_cast<sim::Step>(std::uniform_int_distribution<int>(lo, hi)(rng));
}

uint32_t RandomSector(std::mt19937& rng) {
    // Sectors the runs write: the binary's three, the ogm sector of models 0 to 2.
    static const uint32_t sectors[] = {0x02000000u, 0x02002000u, 0x02004000u,
                                       0x02BB0000u, 0x02A00000u, 0x02E00000u};
    return sectors[std::uniform_int_distribution<int>(0, 5)(rng)];
}

// Up to three of the emulator's faults, and line corruption on a third of the runs.
sim::FaultConfig RandomFaults(std::mt19937& rng) {
    sim::FaultConfig f;
    f.seed = rng();
    const int count = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < count; ++i) {
        switch (std::uniform_int_distribution<int>(0, 8)(rng)) {
        case 0:
            f.silentFrom = RandomStep(rng);
            f.silentOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            break;
        case 1:
            f.wrongReplyAt = RandomStep(rng);
            f.wrongReplyOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            f.wrongByteIndex = std::uniform_int_distribution<int>(0, 4)(rng);
            break;
        case 2:
            f.rejectSectors.push_back(RandomSector(rng));
            f.rejectTimes = std::uniform_int_distribution<int>(1, 4)(rng);
            f.rejectDetail = static_cast<uint8_t>(rng());
            break;
        case 3:
            f.badChecksumSectors.push_back(RandomSector(rng));
            f.badChecksumTimes = std::uniform_int_distribution<int>(1, 4)(rng);
            break;
        case 4: f.tfsStartError = (rng() & 1) ? 0xA1 : 0xA5; break;
        case 5: f.tfsChecksumDelta = (rng() & 1) ? 1 : -1; break;
        case 6: f.replyDelay = std::uniform_real_distribution<double>(0.0, 12.0)(rng); break;
        case 7:
            f.disconnectAt = RandomStep(rng);
            f.disconnectOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            break;
        default: f.noiseBeforeWakeUp = std::uniform_int_distribution<int>(1, 50)(rng); break;
        }
    }
    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) {
        static const double rates[] = {1e-5, 1e-4, 1e-3, 1e-2};
        f.lineErrorRate = rates[std::uniform_int_distribution<int>(0, 3)(rng)];
    }
    return f;
}

struct RunPlan {
    int mode = 1;
    int model = 1;
    int speedIndex = 3;
    int pmu = 0;
    bool format = false;
    sim::FaultConfig faults;
};

RunPlan PlanRun(std::mt19937& rng) {
    RunPlan p;
    p.faults = RandomFaults(rng);
    p.mode = std::uniform_int_distribution<int>(0, DWL3_NB_MODES - 1)(rng);
    p.model = std::uniform_int_distribution<int>(0, 2)(rng);
    p.speedIndex = std::uniform_int_distribution<int>(0, 8)(rng);
    p.pmu = std::uniform_int_distribution<int>(0, 1)(rng);
    p.format = a_DownloadModes[p.mode].Procedure == DWL3_PROC_TFS_OGM &&
               std::uniform_int_distribution<int>(0, 4)(rng) == 0;
    return p;
}

// What a child reports about its run.
struct Outcome {
    int32_t family = 0;
    int32_t code = 0;
    int32_t falseSuccess = 0; // 0, or which check failed (1 binary, 2 ogm, 3 TFS, 4 format,
                              // 5 the flash changed outside the images)
    // The difference is one the protocol cannot see: it carries no check over command bytes,
    // sector headers and names, and its checksums are plain sums, so garbled bytes whose
    // changes cancel out pass them.
    int32_t protocolBlind = 0;
    int32_t leftOn = 0; // success, yet the handset did not take the switch-off
    double virtualSeconds = 0;
    double budgetSeconds = 0;
    uint64_t corruptedBytes = 0;
};

// Sums of the sectors' bytes as the handset would report them equal the image's: the sector
// checksums could not tell the difference.
bool SectorSumsAgree(const sim::Handset& h, uint32_t address, const Bytes& image) {
    SectorList list{};
    dwl10_3GetSectorList(kManufacturer, kDevice, address - DWL_FLASH_BASE,
                         static_cast<uint32_t>(image.size()), &list);
    size_t offset = 0;
    for (uint32_t i = 0; i < list.NbSectors && offset < image.size(); ++i) {
        uint32_t size = 0;
        dwl10_0GetSectorSize(kManufacturer, kDevice, list.Sector[i], &size);
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, image.size() - offset));
        const Bytes held = h.flashAt(address + static_cast<uint32_t>(offset), n);
        uint32_t a = 0, b = 0;
        for (uint32_t k = 0; k < n; ++k) {
            a += held[k];
            b += image[offset + k];
        }
        if (a != b) return false;
        offset += n;
        address += size - n; // the next sector starts a whole sector further
    }
    return true;
}

// The TFS differs from the image only where the conversation has no check (names, version,
// counts) or where the final sum of the data is unchanged.
bool TfsDifferenceBlind(const sim::Handset& h, const Bytes& image) {
    uint32_t sum = 0;
    for (uint8_t b : image)
        sum += b;
    return h.tfs().checksum == sum;
}

uint32_t SectorsCovered(uint32_t address, uint32_t length) {
    SectorList list{};
    dwl10_3GetSectorList(kManufacturer, kDevice, address - DWL_FLASH_BASE, length, &list);
    return list.NbSectors;
}

Outcome RunOne(const RunPlan& p, void (*show)(const sim::Handset&) = nullptr) {
    const Bytes cla = Pattern(kClaSize, 1), ogm = Pattern(kOgmSize, 2);
    const Bytes tfs = Pattern(vg_TFSDescritpion.TotalSize, 3);
    sim::HandsetConfig config = sim::DefaultConfig();
    config.flashFile = "flash.txt";
    config.manufacturerId = kManufacturer;
    config.deviceId = kDevice;
    config.faults = p.faults;
    sim::SimSession session(config);

    DownloadContext& c = sg_DownloadContext;
    c = dwl_DefaultContext();
    c.Mode = p.mode;
    c.Model = p.model;
    c.SpeedIndex = p.speedIndex;
    c.Pmu = p.pmu;
    c.Cla = {1, const_cast<uint8_t*>(cla.data()), kClaSize};
    c.Ogm = {1, const_cast<uint8_t*>(ogm.data()), kOgmSize};
    c.TfsOgm = {1, const_cast<uint8_t*>(tfs.data()), static_cast<uint32_t>(tfs.size())};
    v_Format_Flag = p.format ? 1 : 0;
    const double start = session.clock().elapsed();
    c.StartTime = dwl_Time();

    ResultRecord r = dwl1_0boot(&c);
    if (r.family == 0) {
        r = dwl3_3RunProcedure(a_DownloadModes[p.mode].Procedure, c);
    }

    Outcome o;
    o.family = r.family;
    o.code = r.code;
    o.virtualSeconds = session.clock().elapsed() - start;
    const sim::Handset& h = session.handset();
    if (show != nullptr) show(h);
    o.corruptedBytes = h.recording().corruptedBytes;

    const uint32_t ogmAddress = dwl3_2OgmStartAddress(p.model, kDevice);
    budget::RunShape shape;
    shape.mode = p.mode;
    shape.speedIndex = p.speedIndex;
    shape.pmu = p.pmu;
    shape.format = p.format;
    shape.binarySectors = SectorsCovered(DWL_FLASH_BASE, kClaSize);
    shape.ogmSectors = SectorsCovered(ogmAddress, kOgmSize);
    shape.tfsDirs = static_cast<uint32_t>(vg_TFSDescritpion.NbDir);
    shape.tfsFiles = vg_TFSDescritpion.NbFiles;
    for (uint32_t f = 0; f < vg_TFSDescritpion.NbFiles; ++f) {
        const uint32_t size = vg_TFSDescritpion.Files[f].FileSize;
        shape.tfsBlocks += size == 0 ? 1 : (size + 8191) / 8192;
    }
    o.budgetSeconds = budget::WorstCaseSeconds(shape);

    if (r.family != 0) return o;
    if (p.format) {
        if (!h.tfs().formatted) o.falseSuccess = 4;
        return o;
    }
    const bool lineGarbled = o.corruptedBytes > 0;
    if (budget::ModeWritesBinary(p.mode) && !h.flashEquals(DWL_FLASH_BASE, cla.data(), kClaSize)) {
        o.falseSuccess = 1;
        o.protocolBlind = lineGarbled && SectorSumsAgree(h, DWL_FLASH_BASE, cla);
    } else if (budget::ModeWritesOgm(p.mode) && !h.flashEquals(ogmAddress, ogm.data(), kOgmSize)) {
        o.falseSuccess = 2;
        o.protocolBlind = lineGarbled && SectorSumsAgree(h, ogmAddress, ogm);
    } else if (budget::ModeWritesTfs(p.mode) &&
               !h.tfsHolds(vg_TFSDescritpion, tfs.data(), tfs.size())) {
        o.falseSuccess = 3;
        o.protocolBlind = lineGarbled && TfsDifferenceBlind(h, tfs);
    }
    if (o.falseSuccess != 0) return o;
    // The images and nothing else: no sector erased or written outside them.
    std::vector<sim::PlacedImage> images;
    if (budget::ModeWritesBinary(p.mode)) images.push_back({DWL_FLASH_BASE, cla.data(), kClaSize});
    if (budget::ModeWritesOgm(p.mode)) images.push_back({ogmAddress, ogm.data(), kOgmSize});
    if (!h.flashHoldsOnly(images)) {
        // Only a garbled sector header sends data elsewhere.
        o.falseSuccess = 5;
        o.protocolBlind = lineGarbled;
    }
    o.leftOn = !h.recording().switchedOff;
    return o;
}

enum class Ending { Result, Crash, Hang };

Ending RunInChild(const RunPlan& plan, Outcome* outcome, int* signalNumber) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    ChildOptions options;
    options.closeInChild = {fds[0]};
    ChildHandle child;
    const bool started = dwl_StartFunction(
        [&]() -> int {
            alarm(kRealSecondsPerRun);
            const Outcome o = RunOne(plan);
            const ssize_t written = write(fds[1], &o, sizeof o);
            _exit(written == static_cast<ssize_t>(sizeof o) ? 0 : 3);
        },
        options, &child);
    if (!started) {
        errno = child.error;
        std::perror("fork");
        std::exit(2);
    }
    close(fds[1]);
    const ssize_t got = read(fds[0], outcome, sizeof *outcome);
    close(fds[0]);
    int status = 0;
    dwl_WaitChild(&child, -1, &status);
    if (got == static_cast<ssize_t>(sizeof *outcome) && WIFEXITED(status) &&
        WEXITSTATUS(status) == 0)
        return Ending::Result;
    *signalNumber = WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? Ending::Hang : Ending::Crash;
}

std::string Describe(const RunPlan& p) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "mode %d model %d speed %d pmu %d format %d silent %s#%d wrong %s#%d[%d] "
                  "unplug %s#%d delay %.2f line %.0e",
                  p.mode, p.model, p.speedIndex, p.pmu, p.format ? 1 : 0,
                  sim::StepName(p.faults.silentFrom), p.faults.silentOccurrence,
                  sim::StepName(p.faults.wrongReplyAt), p.faults.wrongReplyOccurrence,
                  p.faults.wrongByteIndex, sim::StepName(p.faults.disconnectAt),
                  p.faults.disconnectOccurrence, p.faults.replyDelay, p.faults.lineErrorRate);
    return text;
}

// One run in this process, with the sector commands the handset took.
int Replay(const RunPlan& plan) {
    std::printf("%s\n", Describe(plan).c_str());
    const Outcome o = RunOne(plan, [](const sim::Handset& h) {
        for (const sim::SectorWrite& w : h.recording().sectorWrites)
            std::printf("  sector command: size 0x%08x address 0x%08x count %u %s\n", w.sectorSize,
                        w.address, w.count, w.accepted ? "accepted" : "refused");
        std::printf("  corrupted bytes %llu\n",
                    static_cast<unsigned long long>(h.recording().corruptedBytes));
    });
    std::printf("result family %d code %d, false success check %d, %.1f s of %.1f s\n", o.family,
                o.code, o.falseSuccess, o.virtualSeconds, o.budgetSeconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10000;
    const uint32_t seed =
        argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20240611u;
    SetUpFolder();
    std::mt19937 rng(seed);

    int successes = 0, failures = 0, falseSuccesses = 0, crashes = 0, hangs = 0, overruns = 0;
    int corruptedRuns = 0, corruptedSuccesses = 0, blind = 0, leftOn = 0;
    std::map<int32_t, int> byFamily;
    double longest = 0, longestBudget = 0, worstBudget = 0;
    int longestMode = -1;
    const auto wallStart = std::chrono::steady_clock::now();

    const int replay = argc > 3 ? std::atoi(argv[3]) : -1;
    for (int i = 0; i < runs; ++i) {
        const RunPlan plan = PlanRun(rng);
        if (replay >= 0) {
            if (i == replay) return Replay(plan);
            continue;
        }
        Outcome o;
        int sig = 0;
        const Ending ending = RunInChild(plan, &o, &sig);
        if (ending != Ending::Result) {
            (ending == Ending::Hang ? hangs : crashes)++;
            std::printf("run %d %s (signal/status %d): %s\n", i,
                        ending == Ending::Hang ? "HANG" : "CRASH", sig, Describe(plan).c_str());
            continue;
        }
        if (o.corruptedBytes > 0) ++corruptedRuns;
        if (o.family == 0) {
            ++successes;
            if (o.corruptedBytes > 0) ++corruptedSuccesses;
        } else {
            ++failures;
            ++byFamily[o.family];
        }
        if (o.family == 0 && o.leftOn) ++leftOn;
        if (o.falseSuccess != 0 && o.protocolBlind) {
            ++blind;
            std::printf("run %d success over a difference the protocol cannot see (check %d, "
                        "%llu bytes corrupted): %s\n",
                        i, o.falseSuccess, static_cast<unsigned long long>(o.corruptedBytes),
                        Describe(plan).c_str());
        } else if (o.falseSuccess != 0) {
            ++falseSuccesses;
            std::printf("run %d FALSE SUCCESS (check %d, %llu bytes corrupted): %s\n", i,
                        o.falseSuccess, static_cast<unsigned long long>(o.corruptedBytes),
                        Describe(plan).c_str());
        }
        if (o.virtualSeconds > o.budgetSeconds) {
            ++overruns;
            std::printf("run %d OVER BUDGET %.1f s > %.1f s: %s\n", i, o.virtualSeconds,
                        o.budgetSeconds, Describe(plan).c_str());
        }
        worstBudget = std::max(worstBudget, o.budgetSeconds);
        if (o.virtualSeconds > longest) {
            longest = o.virtualSeconds;
            longestBudget = o.budgetSeconds;
            longestMode = plan.mode;
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    std::printf("campaign: seed %u\n", seed);
    std::printf("runs: %d\n", runs);
    std::printf("successes: %d (%d of them with line corruption)\n", successes, corruptedSuccesses);
    std::printf("failures: %d\n", failures);
    for (const auto& [family, count] : byFamily)
        std::printf("  family %d: %d\n", family, count);
    std::printf("runs with corrupted line bytes: %d\n", corruptedRuns);
    std::printf("false successes: %d\n", falseSuccesses);
    std::printf("successes over line corruption the protocol cannot detect (no check over "
                "headers and names, additive checksums): %d\n",
                blind);
    std::printf("successes whose switch-off the handset did not take (garbled command): %d\n",
                leftOn);
    std::printf("crashes: %d\n", crashes);
    std::printf("hangs: %d\n", hangs);
    std::printf("runs over their time-out budget: %d\n", overruns);
    std::printf("longest virtual run: %.1f s (mode %d), its worst-case time-out budget %.1f s; "
                "largest budget of any run %.1f s\n",
                longest, longestMode, longestBudget, worstBudget);
    std::printf("wall time: %.1f s\n", wall);
    return falseSuccesses == 0 && crashes == 0 && hangs == 0 && overruns == 0 ? 0 : 1;
}

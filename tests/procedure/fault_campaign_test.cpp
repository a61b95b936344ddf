// Seeded fault campaign: whole runs of random modes against a handset with random faults, in
// virtual time. A run may fail in any way, but it must never report success unless the handset
// holds exactly the images of its mode.
#include "tests/support/emulated_run.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace {

using xfer::EmulatedRun;

constexpr uint32_t kClaSize = 20000;
constexpr uint32_t kOgmSize = 9000;

sim::Step RandomStep(std::mt19937& rng, sim::Step first) {
    const int lo = static_cast<int>(first);
    const int hi = static_cast<int>(sim::Step::SwitchOff);
    return static_cast<sim::Step>(std::uniform_int_distribution<int>(lo, hi)(rng));
}

uint32_t RandomSector(std::mt19937& rng) {
    // Sectors the runs write: the binary's first three, the ogm sector of models 0 to 2.
    static const uint32_t sectors[] = {0x02000000u, 0x02002000u, 0x02004000u,
                                       0x02BB0000u, 0x02A00000u, 0x02E00000u};
    return sectors[std::uniform_int_distribution<int>(0, 5)(rng)];
}

// One to three faults from the emulator's knobs (the line itself stays clean: the protocol
// carries no check over sector addresses or names that could catch a garbled one).
sim::FaultConfig RandomFaults(std::mt19937& rng, std::ostringstream& what) {
    sim::FaultConfig f;
    f.seed = rng();
    const int count = std::uniform_int_distribution<int>(1, 3)(rng);
    for (int i = 0; i < count; ++i) {
        switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0:
            f.silentFrom = RandomStep(rng, sim::Step::BootstrapHello);
            f.silentOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            what << "silent " << sim::StepName(f.silentFrom) << "#" << f.silentOccurrence << " ";
            break;
        case 1:
            f.wrongReplyAt = RandomStep(rng, sim::Step::BootstrapHello);
            f.wrongReplyOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            f.wrongByteIndex = std::uniform_int_distribution<int>(0, 4)(rng);
            what << "wrong " << sim::StepName(f.wrongReplyAt) << "#" << f.wrongReplyOccurrence
                 << "[" << f.wrongByteIndex << "] ";
            break;
        case 2:
            f.rejectSectors.push_back(RandomSector(rng));
            f.rejectTimes = std::uniform_int_distribution<int>(1, 4)(rng);
            f.rejectDetail = static_cast<uint8_t>(rng());
            what << "reject x" << f.rejectTimes << " ";
            break;
        case 3:
            f.badChecksumSectors.push_back(RandomSector(rng));
            f.badChecksumTimes = std::uniform_int_distribution<int>(1, 4)(rng);
            what << "badsum x" << f.badChecksumTimes << " ";
            break;
        case 4:
            f.tfsStartError = (rng() & 1) ? 0xA1 : 0xA5;
            what << "tfsstart ";
            break;
        case 5:
            f.tfsChecksumDelta = (rng() & 1) ? 1 : -1;
            what << "tfssum ";
            break;
        case 6:
            f.replyDelay = std::uniform_real_distribution<double>(0.0, 12.0)(rng);
            what << "delay " << f.replyDelay << " ";
            break;
        case 7:
            f.disconnectAt = RandomStep(rng, sim::Step::BootstrapHello);
            f.disconnectOccurrence = std::uniform_int_distribution<int>(0, 3)(rng);
            what << "unplug " << sim::StepName(f.disconnectAt) << " ";
            break;
        case 8:
            f.noiseBeforeWakeUp = std::uniform_int_distribution<int>(1, 50)(rng);
            what << "noise ";
            break;
        default: what << "clean "; break;
        }
    }
    return f;
}

TEST(FaultCampaign, SuccessOnlyWhenTheHandsetHoldsTheImages) {
    std::mt19937 rng(20240611u);
    int successes = 0;
    int failures = 0;
    for (int runIndex = 0; runIndex < 300; ++runIndex) {
        std::ostringstream what;
        sim::FaultConfig faults = RandomFaults(rng, what);
        const int mode = std::uniform_int_distribution<int>(0, 6)(rng);
        EmulatedRun run(faults, false, xfer::kDevice, kClaSize, kOgmSize);
        sg_DownloadContext.Model = std::uniform_int_distribution<int>(0, 2)(rng);
        sg_DownloadContext.SpeedIndex = std::uniform_int_distribution<int>(0, 8)(rng);
        sg_DownloadContext.Pmu = std::uniform_int_distribution<int>(0, 1)(rng);
        ResultRecord r = run.start(mode);
        SCOPED_TRACE("run " + std::to_string(runIndex) + " mode " + std::to_string(mode) + ": " +
                     what.str() + " -> family " + std::to_string(r.family) + " code " +
                     std::to_string(r.code));
        if (r.family != 0) {
            ++failures;
            // Only a switch-off that went unanswered may have reached the handset.
            const bool switchOffUnanswered = r.family == 8 && r.code == 20;
            EXPECT_TRUE(switchOffUnanswered || !run.handset().recording().switchedOff);
            continue;
        }
        ++successes;
        const bool binary = mode == 0 || mode == 1 || mode == 5 || mode == 6;
        const bool ogm = mode == 0 || mode == 2 || mode == 4 || mode == 5;
        const bool tfs = mode == 3 || mode == 4 || mode == 5 || mode == 6;
        // Exactly the images in the flash: no sector left erased or written elsewhere.
        EXPECT_TRUE(run.flashHoldsOnly(binary, ogm));
        EXPECT_TRUE(!tfs || run.tfsHoldsImage());
        EXPECT_TRUE(run.handset().recording().switchedOff);
    }
    // The campaign means something only when both outcomes occur often.
    EXPECT_GT(successes, 30);
    EXPECT_GT(failures, 60);
    std::printf("fault campaign: %d successes, %d failures\n", successes, failures);
}

} // namespace

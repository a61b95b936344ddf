// Runs on a line whose bytes take their wire time, in virtual time: the waits for the output
// queue keep the read and acknowledgement time-outs from running while data is still on the
// wire, the boot's line-state change follows the byte it belongs after, and a run takes no
// longer than the wire and the handset's turnarounds make it.
#include "tests/support/emulated_run.h"
#include "tests/support/image_step_recorder.h"

#include "command/dwl11command.h"

#include <gtest/gtest.h>

namespace {

using xfer::EmulatedRun;
using xfer::kLarge;

// Seconds a byte takes at 38400 baud without parity, the slowest link speed.
constexpr double kSlowByte = 10.0 / 38400;

TEST(WireTiming, FullSectorsAtTheSlowestSpeed) {
    // The eight 8 KB boot sectors, then two full 64 KB sectors: 17 s on the wire each, longer
    // than the 10 s the acknowledgement may take once the data is out.
    EmulatedRun run({}, false, xfer::kDevice, 8 * 8192 + 2 * kLarge, 0, true);
    sg_DownloadContext.SpeedIndex = 0;
    testsupport::ImageStepRecorder steps;
    const double t0 = run.clock().elapsed();
    ResultRecord r = run.start(1);
    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
    EXPECT_GT(run.clock().elapsed() - t0, run.cla.size() * kSlowByte);

    // The progress meters hear of the bytes as they leave, within a sector too: from the
    // image's start to its end never a second without news, and the count only grows.
    // First of all the boot says that a handset answered: the run is on.
    ASSERT_GE(steps.heard.size(), 3u);
    EXPECT_EQ(steps.heard.front().event.Phase, IMAGE_STEP_AWAKE);
    EXPECT_EQ(steps.of(IMAGE_STEP_AWAKE).size(), 1u);
    steps.heard.erase(steps.heard.begin());
    EXPECT_EQ(steps.heard.front().event.Phase, IMAGE_STEP_BEGIN);
    EXPECT_EQ(steps.heard.back().event.Phase, IMAGE_STEP_END);
    EXPECT_EQ(steps.heard.back().event.Done, run.cla.size());
    int withinBigSectors = 0;
    for (size_t i = 1; i < steps.heard.size(); ++i) {
        const auto& [event, at] = steps.heard[i];
        EXPECT_LE(at - steps.heard[i - 1].at, 1.0) << "event " << i << ", " << event.Done;
        EXPECT_GE(event.Done, steps.heard[i - 1].event.Done) << "event " << i;
        withinBigSectors += event.Done > 8 * 8192 && event.Done % kLarge != 8 * 8192 % kLarge;
    }
    EXPECT_GT(withinBigSectors, 2 * 17) << "fewer than one a second in the 64 KB sectors";
}

TEST(WireTiming, TfsBlocksAtTheSlowestSpeedWithASlowHandset) {
    // A handset that takes 8 s to store a block: the 2.1 s an 8192-byte block spends on the
    // wire must not count against the 10 s read time-out of its acknowledgement.
    sim::FaultConfig slow;
    slow.replyDelay = 8.0;
    EmulatedRun run(slow, true, xfer::kDevice, 0, 0, true);
    // The bootstrap's line (38400 baud, even parity) with the fast link's read time-out.
    dwl12_0UartInit(sg_DownloadContext.ComPort, 38400, 2, 10);
    ResultRecord r =
        dwl11_54Download_TFS_ogm(sg_DownloadContext, static_cast<uint32_t>(run.tfs.size()),
                                 run.tfs.data(), DWL_FLASH_BASE, 0);
    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_TRUE(run.tfsHoldsImage());
}

TEST(WireTiming, BootAnswerLeavesTheLineBeforeDtrDrops) {
    EmulatedRun run({}, false, xfer::kDevice, 0, 0, true);
    ASSERT_EQ(dwl1_0boot(&sg_DownloadContext).family, 0);
    // On the handset's timeline: DTR up with nothing received, then the 0x44 wholly arrived
    // (and nothing after it) when DTR drops.
    const auto& changes = run.handset().recording().dtrChanges;
    ASSERT_GE(changes.size(), 2u);
    EXPECT_TRUE(changes[0].on);
    EXPECT_EQ(changes[0].bytesFromPc, 0u);
    EXPECT_FALSE(changes[1].on);
    EXPECT_EQ(changes[1].bytesFromPc, 1u) << "DTR dropped before the wake-up answer was through";
    EXPECT_FALSE(run.handset().recording().bootFrames.empty());
}

// Every link speed, with and without an adapter's turnaround, binary and TFS images: the run
// succeeds and takes at most 2% more than the wire time of its bytes plus the handset's own
// waits (a turnaround before each answer, the first wake-up announcement).
TEST(WireTiming, RunsStayCloseToTheWireAtEverySpeed) {
    for (int speed = 0; speed <= 8; ++speed) {
        for (double turnaround : {0.0, 0.016}) {
            for (int mode : {1, 3}) {
                SCOPED_TRACE(testing::Message() << "speed index " << speed << ", turnaround "
                                                << turnaround << " s, mode " << mode);
                sim::FaultConfig faults;
                faults.replyDelay = turnaround;
                EmulatedRun run(faults, false, xfer::kDevice, 70000, 0, true);
                sg_DownloadContext.SpeedIndex = speed;
                const double t0 = run.clock().elapsed();
                ResultRecord r = run.start(mode);
                const double took = run.clock().elapsed() - t0;
                ASSERT_EQ(r.family, 0) << r.code;

                const sim::Recording& rec = run.handset().recording();
                const sim::HandsetConfig& config = run.handset().config();
                const double bound =
                    rec.wireSeconds + turnaround * rec.answers + config.wakeUpInterval;
                EXPECT_GE(took, bound * 0.999);
                EXPECT_LE(took, bound * 1.02);
            }
        }
    }
}

} // namespace

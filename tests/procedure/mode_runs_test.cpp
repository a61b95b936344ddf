// Whole download runs against the emulated handset: every mode leaves exactly its images in
// the handset, with the log lines, closing line and switch-off of the run.
#include "tests/support/emulated_run.h"

#include <gtest/gtest.h>

namespace {

using xfer::EmulatedRun;

struct ModeCase {
    int mode;
    bool binary, ogm, tfs;
};

class ModeRun : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeRun, LeavesExactlyTheModesImages) {
    const ModeCase& m = GetParam();
    EmulatedRun run;
    ResultRecord r = run.start(m.mode);
    ASSERT_EQ(r.family, 0) << "code " << r.code;
    EXPECT_EQ(r.code, 0);

    EXPECT_EQ(run.flashHolds(DWL_FLASH_BASE, run.cla), m.binary);
    if (!m.binary) {
        EXPECT_TRUE(run.flashErased(DWL_FLASH_BASE, 70000));
    }
    EXPECT_EQ(run.ogmAddress(), 0x02A00000u);
    EXPECT_EQ(run.flashHolds(run.ogmAddress(), run.ogm), m.ogm);
    if (!m.ogm) {
        EXPECT_TRUE(run.flashErased(run.ogmAddress(), 30000));
    }
    EXPECT_TRUE(m.tfs ? run.tfsHoldsImage() : run.tfsUntouched());

    // Nothing else of the flash was written.
    for (const sim::SectorWrite& w : run.handset().recording().sectorWrites) {
        const bool inBinary = w.address < DWL_FLASH_BASE + 70000;
        const bool inOgm = w.address >= run.ogmAddress() && w.address < run.ogmAddress() + 30000;
        EXPECT_TRUE((inBinary && m.binary) || (inOgm && m.ogm)) << std::hex << w.address;
    }

    EXPECT_TRUE(run.handset().recording().switchedOff);
    EXPECT_TRUE(run.panel.logged("Check the compatibility"));
    EXPECT_TRUE(run.panel.logged(m.mode == 3 ? "The End" : "The end"));
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME).find(" min "), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeRun,
    ::testing::Values(ModeCase{0, true, true, false}, ModeCase{1, true, false, false},
                      ModeCase{2, false, true, false}, ModeCase{3, false, false, true},
                      ModeCase{4, false, true, true}, ModeCase{5, true, true, true},
                      ModeCase{6, true, false, true}),
    [](const auto& info) { return "Mode" + std::to_string(info.param.mode); });

TEST(ModeRunLog, FiveAnnouncesItsStepsInOrder) {
    EmulatedRun run;
    ASSERT_EQ(run.start(5).family, 0);
    const int b = run.panel.find("Download binary sector by sector");
    const int o = run.panel.find("Download ogm sector by sector");
    const int t = run.panel.find("Download   TFS sector by sector");
    EXPECT_GT(b, run.panel.find("Check the compatibility"));
    EXPECT_GT(o, b);
    EXPECT_GT(t, o);
    EXPECT_GT(run.panel.find("The end"), t);
}

TEST(ModeRunLog, FourAnnouncesOgmThenTfs) {
    EmulatedRun run;
    ASSERT_EQ(run.start(4).family, 0);
    const int o = run.panel.find("Download ogm sector by sector");
    EXPECT_GE(o, 0);
    EXPECT_GT(run.panel.find("Download   TFS Ogm sector by sector"), o);
}

TEST(ModeRunLog, ThreeAnnouncesTheTfsImage) {
    EmulatedRun run;
    ASSERT_EQ(run.start(3).family, 0);
    EXPECT_TRUE(run.panel.logged("Download TFS_ogm file sector by sector"));
}

TEST(ModeRunPlacement, OgmGoesWhereTheModelSays) {
    struct Case {
        int model;
        uint8_t device;
        uint32_t address;
    };
    for (Case c : {Case{0, xfer::kDevice, 0x02BB0000u}, Case{1, xfer::kDevice, 0x02A00000u},
                   Case{1, 0xE0, 0x02800000u}, Case{2, xfer::kDevice, 0x02E00000u},
                   Case{2, 0xE0, 0x02E00000u}}) {
        EmulatedRun run({}, false, c.device);
        sg_DownloadContext.Model = c.model;
        ASSERT_EQ(run.start(2).family, 0) << c.model;
        EXPECT_TRUE(run.flashHolds(c.address, run.ogm)) << c.model << " " << int(c.device);
    }
}

} // namespace

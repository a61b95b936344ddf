// The boot-only, format and TFS ogm start commands, and one command at a time.
#include "tests/support/operator_bench.h"

#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::OperatorBench;
using testsupport::readBytes;

namespace {

TEST(BootOnly, BootsIdentifiesAndLeavesThePortOpenWithoutLockOrWindow) {
    OperatorBench bench;
    bench.emulate();
    bench.press(MAIN_BOOT_START);
    EXPECT_TRUE(bench.logged("Booting Loader is Completed!!"));
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 1);
    EXPECT_EQ(sg_DownloadContext.FlashManufacturerId, bench.handset().config().manufacturerId);
    EXPECT_EQ(sg_DownloadContext.FlashDeviceId, bench.handset().config().deviceId);
    EXPECT_TRUE(bench.portOpen(sg_DownloadContext.ComPort));
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
}

// A failed boot shows its window as a download's boot does, closes the port and does not claim
// to be complete.
TEST(BootOnly, AFailedBootShowsItsWindowAndClosesThePort) {
    struct Case {
        const char* what;
        int productType;
        const char* file;
        int panel;
        bool turnOnStays; // until the time-out window's button
    };
    const Case cases[] = {
        {"silent handset", 2, "mmi.uir", MMI_PANEL_TIMEOUT, true},
        {"product type 0", 0, "Utility.uir", UTIL_PANEL_LIBPC_ERR, false},
    };
    for (const Case& c : cases) {
        OperatorBench bench;
        sim::HandsetConfig config = sim::DefaultConfig();
        config.faults.silentFrom = sim::Step::WakeUp;
        bench.emulate(config);
        sg_DownloadContext.ProductType = c.productType;
        bench.press(MAIN_BOOT_START);
        EXPECT_FALSE(bench.logged("Booting Loader is Completed!!")) << c.what;
        EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0) << c.what;
        const int w = bench.window(c.file, c.panel);
        ASSERT_GT(w, 0) << c.what;
        EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort)) << c.what;
        EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON) > 0, c.turnOnStays) << c.what;
        bench.pressOk(w);
        EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0) << c.what;
        EXPECT_TRUE(bench.menuBarShown()) << c.what;
    }
}

// The bootstrap a Boot only started keeps the port: the next command closes it first and tells
// the operator that the handset wants switching off and on.
TEST(BootOnly, TheNextCommandClosesThePortLeftOpenAndAsksForAPowerCycle) {
    OperatorBench bench;
    bench.emulate();
    bench.press(MAIN_BOOT_START);
    ASSERT_TRUE(bench.portOpen(4));
    const std::string closed =
        "COM4, left open by Boot only, is closed: switch the handset off and on";
    EXPECT_FALSE(bench.logged(closed));
    bench.choose(MAIN_COM_PORT, 2); // the port left open is closed, not the one chosen now
    bench.press(MAIN_FORMAT);
    const int line = bench.find(closed);
    ASSERT_GE(line, 0) << ::testing::PrintToString(bench.lines);
    // Before the boot of the format, which runs on COM2.
    EXPECT_EQ(bench.lines[line - 1].rfind(" Format 20", 0), 0u);
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_FALSE(bench.portOpen(4));
    // Said once: the port is no longer left open.
    bench.pressOk(bench.window("mmi.uir", MMI_PANEL_SUCCESS));
    bench.lines.clear();
    bench.press(MAIN_BOOT_START);
    EXPECT_FALSE(bench.logged(closed));
}

TEST(Format, FormatsTheFlashFileSystemAndClosesThePort) {
    OperatorBench bench;
    bench.emulate();
    bench.press(MAIN_FORMAT);
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_EQ(v_Format_Flag, 0);
    const int formatted = bench.find("Flash is Formated!!");
    EXPECT_GT(formatted, bench.find("MakeBadMapTable OK"));
    const int w = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(w, 0) << ::testing::PrintToString(bench.lines);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_FORMAT), 0);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    // No lock: the menu bar stays; the window's button runs the usual release.
    EXPECT_TRUE(bench.menuBarShown());
    bench.pressOk(w);
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0);
}

TEST(Format, ProductTypeZeroFailsTheBootAndKeepsTheRequestForTheNextTfsRun) {
    OperatorBench bench;
    bench.emulate();
    sg_DownloadContext.ProductType = 0;
    bench.press(MAIN_FORMAT);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(v_Format_Flag, 1);
    EXPECT_FALSE(bench.handset().tfs().formatted);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    bench.pressOk(w);

    // The next TFS ogm start formats instead of downloading.
    sg_DownloadContext.ProductType = 2;
    bench.choose(MAIN_MODE, 4);
    bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
    bench.press(MAIN_TFS_OGM_START);
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_TRUE(bench.handset().tfs().files.empty());
    EXPECT_EQ(v_Format_Flag, 0);
}

TEST(TfsOgmStart, AFreshlyLoadedImageFormatsFirstThenTheNextStartDownloads) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 4);
    bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
    bench.press(MAIN_TFS_OGM_START);
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_EQ(v_Format_Flag, 0);
    int w = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(w, 0);
    // The TFS ogm start leaves the release to the window's button.
    EXPECT_FALSE(bench.menuBarShown());
    bench.pressOk(w);
    EXPECT_TRUE(bench.menuBarShown());

    bench.press(MAIN_TFS_OGM_START);
    w = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(w, 0) << ::testing::PrintToString(bench.lines);
    EXPECT_TRUE(bench.logged("Download TFS_ogm file sector by sector"));
    EXPECT_EQ(bench.handset().tfs().files.size(), 10u);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
}

TEST(TfsOgmStart, AsksForTheImageWhateverTheMode) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 0);
    bench.press(MAIN_TFS_OGM_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a TFS_ogm file before start");
}

TEST(OneCommandAtATime, AFormatPressedDuringABootOnlyIsRefused) {
    OperatorBench bench;
    bench.emulate();
    uis_OperateCommit(v_Panel, MAIN_BOOT_START);
    uis_OperateCommit(v_Panel, MAIN_FORMAT); // dispatched while the boot-only command runs
    uis_DispatchEvents();
    uis_DispatchEvents();
    EXPECT_EQ(bench.handset().recording().powerOns, 1);
    EXPECT_FALSE(bench.handset().tfs().formatted);
    EXPECT_EQ(v_Format_Flag, 0);
    EXPECT_TRUE(bench.logged("Booting Loader is Completed!!"));
}

TEST(OneCommandAtATime, AStartPressedDuringAFormatNeitherRunsNorCancelsTheFormat) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 1000));
    uis_OperateCommit(v_Panel, MAIN_FORMAT);
    uis_OperateCommit(v_Panel, MAIN_START); // dispatched while the format waits on the handset
    uis_DispatchEvents();
    uis_DispatchEvents();
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_TRUE(bench.handset().recording().sectorWrites.empty());
    EXPECT_EQ(bench.handset().recording().powerOns, 1);
}

TEST(OneCommandAtATime, ChoicesMadeDuringAnUnlockedCommandAreRefused) {
    OperatorBench bench;
    bench.emulate();
    const int32_t speed = sg_DownloadContext.SpeedIndex;
    uis_OperateCommit(v_Panel, MAIN_FORMAT);
    uis_OperateSetValue(v_Panel, MAIN_COM_PORT, 2);
    uis_OperateSetValue(v_Panel, MAIN_SPEED, speed == 1 ? 2 : 1);
    uis_OperateMenuItem(v_MenuBarHandle, MENU_WAIT_STATE(0, 4));
    uis_DispatchEvents();
    uis_DispatchEvents();
    EXPECT_TRUE(bench.handset().tfs().formatted);
    EXPECT_EQ(sg_DownloadContext.ComPort, 4);
    EXPECT_EQ(bench.intValue(MAIN_COM_PORT), 4);
    EXPECT_EQ(sg_DownloadContext.SpeedIndex, speed);
    EXPECT_EQ(bench.intValue(MAIN_SPEED), speed);
    EXPECT_EQ(sg_DownloadContext.WaitState[0], 0);
    // The port the format used is the one it closed.
    EXPECT_FALSE(bench.portOpen(4));
    // Afterwards the choices work again.
    bench.choose(MAIN_COM_PORT, 2);
    EXPECT_EQ(sg_DownloadContext.ComPort, 2);
}

// Both start buttons run as the one command of the moment: a close of the window meanwhile
// neither quits nor frees the images the run writes.
TEST(OneCommandAtATime, ClosingTheWindowDuringARunWaitsForNothingAndKeepsTheImages) {
    for (int button : {MAIN_START, MAIN_TFS_OGM_START}) {
        OperatorBench bench;
        bench.emulate();
        bench.choose(MAIN_MODE, button == MAIN_START ? 1 : 4);
        if (button == MAIN_START)
            bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 70000));
        else
            bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
        uis_OperateCommit(v_Panel, button);
        uis_OperateClose(v_Panel); // reaches the program while the run waits on the handset
        uis_DispatchEvents();
        uis_DispatchEvents();
        EXPECT_FALSE(uis_QuitRequested()) << button;
        EXPECT_NE((button == MAIN_START ? sg_DownloadContext.Cla : sg_DownloadContext.TfsOgm).Data,
                  nullptr)
            << button;
        EXPECT_GT(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0) << button;
    }
}

TEST(OneCommandAtATime, AnOldWindowsButtonDuringARunDoesNotReleaseThePanel) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 2);
    bench.load(MAIN_OGM_LOAD, bench.writeImage("a.ogm", 1000));
    bench.press(MAIN_START); // ogm path: released at once, its window stays
    const int old = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(old, 0);
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 70000));
    uis_OperateCommit(v_Panel, MAIN_START);
    uis_OperateCommit(old, 2);
    uis_DispatchEvents();
    uis_DispatchEvents();
    EXPECT_EQ(uis_Panel(old), nullptr);
    // The binary run keeps its panel locked until its own window's button.
    EXPECT_FALSE(bench.menuBarShown());
    const int fresh = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(fresh, 0);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 1);
}

} // namespace

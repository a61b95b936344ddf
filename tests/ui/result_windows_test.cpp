// The result display and the buttons of its windows.
#include "tests/support/operator_bench.h"

#include "boot/dwl1boot.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::OperatorBench;

namespace {

TEST(ResultDisplay, ChoosesTheWindowAndTextOfEachFamily) {
    OperatorBench bench;
    struct Case {
        int family, code;
        const char* file;
        int panel;
        const char* text; // nullptr: the layout's own text stays
    };
    const Case cases[] = {
        {0, 0, "mmi.uir", MMI_PANEL_SUCCESS, nullptr},
        {0, 77, "mmi.uir", MMI_PANEL_SUCCESS, nullptr},
        {1, 0, "Utility.uir", UTIL_PANEL_GENERIC_ERR, "Error during the download"},
        {2, 99, "Utility.uir", UTIL_PANEL_FLASH_ERR,
         "FLASH DESCRIPTION : The file flash.txt problem"},
        {3, 5, "Utility.uir", UTIL_PANEL_CONF_ERR,
         "The com number in configuration file is not rigth "},
        {5, 9, "Utility.uir", UTIL_PANEL_LIBPC_ERR, "LIB_PC : Default error number _ 0x       9"},
        {6, 0x000A0301, "Utility.uir", UTIL_PANEL_BOOT_ERR,
         "BOOT : Problem during the boot sequence"},
        {8, 21, "Utility.uir", UTIL_PANEL_COMMAND_ERR, "COMMAND : Command error "},
        {13, 0, "Utility.uir", UTIL_PANEL_GENERIC_ERR, "Timeout during the download"},
        {33, 0x00030041, "Utility.uir", UTIL_PANEL_GENERIC_ERR,
         "TFS Close File(3th) ERROR : 65(0x41)"},
    };
    for (const Case& c : cases) {
        const int w = dwl52_10DisplayResult(c.family, c.code);
        ASSERT_GT(w, 0) << c.family;
        EXPECT_EQ(w, bench.window(c.file, c.panel)) << c.family;
        EXPECT_TRUE(uis_Panel(w)->visible);
        if (c.text != nullptr) {
            EXPECT_EQ(bench.windowText(w), c.text) << c.family;
        }
    }
    EXPECT_EQ(v_PanelSuccessful, bench.window("mmi.uir", MMI_PANEL_SUCCESS));
    EXPECT_EQ(v_PanelLibPCErr, bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR));
    // Each result loads a window of its own.
    EXPECT_EQ(bench.windowCount("mmi.uir", MMI_PANEL_SUCCESS), 2);
}

TEST(ResultDisplay, BootTimeOutShowsTheTimeOutWindowWithoutBootText) {
    OperatorBench bench;
    const int w = dwl52_10DisplayResult(6, 4);
    ASSERT_GT(w, 0);
    EXPECT_EQ(w, bench.window("mmi.uir", MMI_PANEL_TIMEOUT));
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_BOOT_ERR), 0);
    EXPECT_EQ(v_PanelTimeout, w);
}

TEST(ResultDisplay, FamiliesWithoutWindowShowNothing) {
    OperatorBench bench;
    const size_t panels = uis_LivePanels().size();
    for (int family : {4, 7, 14, 15, 16, 17, -1, 34, 1000})
        EXPECT_EQ(dwl52_10DisplayResult(family, 1), 0) << family;
    EXPECT_EQ(uis_LivePanels().size(), panels);
}

TEST(ResultDisplay, TheTfsSizeWindowNamesTheDescriptionsTotal) {
    OperatorBench bench;
    vg_TFSDescritpion.TotalSize = 85598;
    const int w = dwl52_10DisplayResult(18, 18);
    EXPECT_EQ(bench.windowText(w),
              "The size of the TFS OGM File is Wrong.\n(Available size=85598(0x00014e5e))");
    vg_TFSDescritpion.TotalSize = 0;
}

TEST(ResultDisplay, DescriptionFileWindowsFallBackToTheirDefaultText) {
    OperatorBench bench;
    EXPECT_EQ(bench.windowText(dwl52_11DisplayFlashFileErr(2)),
              "FLASH DESCRIPTION : The file flash.txt not found");
    EXPECT_EQ(bench.windowText(dwl52_11DisplayFlashFileErr(1)),
              "FLASH DESCRIPTION : The file flash.txt problem");
    EXPECT_EQ(bench.windowText(dwl52_12DisplayConfigFileErr(7)),
              "There is a problem in configuration file ");
    EXPECT_EQ(bench.windowText(dwl52_13DisplayTFSFileErr(11)),
              "TFS DESCRIPTION : There are too many files");
    EXPECT_EQ(bench.windowText(dwl52_13DisplayTFSFileErr(42)),
              "TFS DESCRIPTION : The file tfs.cfg problem");
}

// A window that cannot be loaded (Utility.uir missing or broken) has no button to release the
// panel: the command that locked it releases it itself.
TEST(ResultDisplay, AWindowThatCannotLoadStillReleasesThePanel) {
    for (const char* utility : {static_cast<const char*>(nullptr), "panel 1 \"broken\n"}) {
        for (const bool run : {false, true}) {
            testsupport::TempDir layouts;
            OperatorBench bench;
            const std::string ui = testsupport::sourceDir() + "/ui/";
            testsupport::writeBytes(layouts.file("mmi.uir"),
                                    testsupport::readBytes(ui + "mmi.uir"));
            if (utility != nullptr) testsupport::writeBytes(layouts.file("Utility.uir"), utility);
            uis_SetLayoutDirectory(layouts.path().c_str());
            if (run) { // a binary run that ends in a command error
                sim::HandsetConfig config = sim::DefaultConfig();
                config.faults.silentFrom = sim::Step::SwitchOff;
                bench.emulate(config);
                bench.choose(MAIN_MODE, 1);
                bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 2000));
                bench.press(MAIN_START);
            } else { // a TFS image without description
                bench.choose(MAIN_MODE, 3);
                bench.load(MAIN_TFS_LOAD, bench.writeImage("lonely.tfs", 100));
            }
            const std::string what = std::string(run ? "run" : "load") + ", Utility.uir " +
                                     (utility != nullptr ? "broken" : "missing");
            EXPECT_EQ(uis_LivePanels().size(), 1u) << what; // the main panel only
            EXPECT_TRUE(bench.menuBarShown()) << what;
            EXPECT_FALSE(bench.dimmed(MAIN_START)) << what;
        }
    }
}

TEST(WindowButtons, SuccessButtonClosesBlanksTheTimeTurnsLightsOffAndUnlocks) {
    OperatorBench bench;
    dwl52_1DisplayTypeFlash(vg_FlashDescritpion.Flash[0].ManufacturerId,
                            vg_FlashDescritpion.Flash[0].DeviceId);
    SetCtrlAttribute(v_Panel, MAIN_ELAPSED_TIME, ATTR_LABEL_TEXT, "2 min 5 sec");
    dwl52_5LockDuringDownload();
    const int w = dwl52_10DisplayResult(0, 0);
    bench.pressOk(w);
    EXPECT_EQ(uis_Panel(w), nullptr);
    EXPECT_EQ(bench.label(MAIN_ELAPSED_TIME), " ");
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0);
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_FALSE(bench.dimmed(MAIN_START));
}

TEST(WindowButtons, TimeOutButtonAlsoClosesTheTurnOnPanel) {
    OperatorBench bench;
    v_PanelTurnOn = LoadPanel(0, "mmi.uir", MMI_PANEL_TURN_ON);
    DisplayPanel(v_PanelTurnOn);
    dwl52_5LockDuringDownload();
    const int w = dwl52_10DisplayResult(6, 4);
    bench.pressOk(w);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TIMEOUT), 0);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(WindowButtons, EveryErrorWindowButtonClosesItsWindowAndUnlocks) {
    OperatorBench bench;
    const int families[][2] = {{1, 0}, {2, 15}, {3, 2}, {5, 3}, {6, 11}, {8, 2}};
    for (const auto& f : families) {
        SetCtrlVal(v_Panel, MAIN_LED_FLASH, 1);
        dwl52_5LockDuringDownload();
        const int w = dwl52_10DisplayResult(f[0], f[1]);
        ASSERT_GT(w, 0);
        bench.pressOk(w);
        EXPECT_EQ(uis_Panel(w), nullptr) << f[0];
        EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0) << f[0];
        EXPECT_TRUE(bench.menuBarShown()) << f[0];
    }
    dwl52_5LockDuringDownload();
    const int tfs = dwl52_13DisplayTFSFileErr(2);
    bench.pressOk(tfs);
    EXPECT_EQ(uis_Panel(tfs), nullptr);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(WindowButtons, AnOlderWindowsButtonClosesThatWindowNotTheNewest) {
    OperatorBench bench;
    const int older = dwl52_10DisplayResult(1, 0);
    const int newer = dwl52_10DisplayResult(13, 0);
    ASSERT_EQ(v_PanelGenericErr, newer);
    bench.pressOk(older);
    EXPECT_EQ(uis_Panel(older), nullptr);
    EXPECT_NE(uis_Panel(newer), nullptr);
    bench.pressOk(newer);
    EXPECT_EQ(bench.windowCount("Utility.uir", UTIL_PANEL_GENERIC_ERR), 0);
}

// A window left over from an earlier run, pressed while a run goes on: it closes and releases
// nothing of the run in progress.
TEST(WindowButtons, AnEarlierRunsWindowReleasesNothingOfTheRunInProgress) {
    OperatorBench bench;
    const int success = dwl52_10DisplayResult(0, 0);
    const int timeOut = dwl52_10DisplayResult(6, 4);
    ASSERT_TRUE(dwl51_6BeginCommand());
    dwl52_5LockDuringDownload();
    v_PanelTurnOn = LoadPanel(0, "mmi.uir", MMI_PANEL_TURN_ON);
    DisplayPanel(v_PanelTurnOn);
    SetCtrlAttribute(v_Panel, MAIN_ELAPSED_TIME, ATTR_LABEL_TEXT, "2 min 5 sec");
    bench.pressOk(success);
    bench.pressOk(timeOut);
    EXPECT_EQ(uis_Panel(success), nullptr);
    EXPECT_EQ(uis_Panel(timeOut), nullptr);
    EXPECT_EQ(bench.label(MAIN_ELAPSED_TIME), "2 min 5 sec");
    EXPECT_GT(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    EXPECT_FALSE(bench.menuBarShown());
    EXPECT_TRUE(bench.dimmed(MAIN_START));
    dwl51_7EndCommand();
}

} // namespace

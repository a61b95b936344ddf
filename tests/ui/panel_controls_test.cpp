// The main panel's selectors, the mode table, the lock and unlock, the lights, the menus and
// the about box, without a handset.
#include "tests/support/operator_bench.h"

#include "flash/dwl10fla.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <utility>

using testsupport::OperatorBench;

namespace {

const int kGroups[3][4] = {
    {MAIN_BIN_LOAD, MAIN_BIN_PATH, MAIN_BIN_SIZE, MAIN_BIN_SUM},
    {MAIN_OGM_LOAD, MAIN_OGM_PATH, MAIN_OGM_SIZE, MAIN_OGM_SUM},
    {MAIN_TFS_LOAD, MAIN_TFS_PATH, MAIN_TFS_SIZE, MAIN_TFS_SUM},
};

// Which groups each mode offers: binary, ogm, TFS ogm.
const bool kModeGroups[7][3] = {
    {true, true, false}, {true, false, false}, {false, true, false}, {false, false, true},
    {false, true, true}, {true, true, true},   {true, false, true},
};

void expectGroups(const OperatorBench& bench, int mode) {
    for (int g = 0; g < 3; g++)
        for (int control : kGroups[g])
            EXPECT_EQ(bench.dimmed(control), !kModeGroups[mode][g])
                << "mode " << mode << " control " << control;
}

TEST(Selectors, WriteTheirChoiceIntoTheContextAtOnce) {
    OperatorBench bench;
    bench.choose(MAIN_MODEL, 2);
    EXPECT_EQ(sg_DownloadContext.Model, 2);
    bench.choose(MAIN_COM_PORT, 1);
    EXPECT_EQ(sg_DownloadContext.ComPort, 1);
    bench.choose(MAIN_SPEED, 8);
    EXPECT_EQ(sg_DownloadContext.SpeedIndex, 8);
    bench.choose(MAIN_SPEED, 0);
    EXPECT_EQ(sg_DownloadContext.SpeedIndex, 0);
    bench.choose(MAIN_MODE, 4);
    EXPECT_EQ(sg_DownloadContext.Mode, 4);
}

TEST(Selectors, EachModeOffersItsImageGroupsAndDimsTheModel) {
    OperatorBench bench;
    for (int mode : {3, 0, 6, 1, 4, 2, 5}) {
        bench.choose(MAIN_MODE, mode);
        expectGroups(bench, mode);
        EXPECT_TRUE(bench.dimmed(MAIN_MODEL)) << mode;
        EXPECT_EQ(bench.dimmed(MAIN_TFS_OGM_START), mode == 1 || mode == 3) << mode;
    }
    // The model selector is dimmed until the next unlock, so it cannot be chosen.
    EXPECT_EQ(bench.choose(MAIN_MODEL, 0), UIE_DIMMED);
    dwl52_5LockDuringDownload();
    dwl52_6UnlockAfterDownload();
    EXPECT_FALSE(bench.dimmed(MAIN_MODEL));
}

// At start-up the TFS ogm start is offered as the mode chosen in the last session allows.
TEST(Selectors, StartUpOffersTheTfsOgmStartAsTheModeAllows) {
    OperatorBench bench;
    for (int mode : {0, 1, 2, 3, 4, 5, 6}) {
        sg_DownloadContext.Mode = mode;
        dwl51_2InitMainPanel();
        expectGroups(bench, mode);
        EXPECT_EQ(bench.dimmed(MAIN_TFS_OGM_START), mode == 1 || mode == 3) << mode;
    }
}

// A file dropped on the panel goes to the load button of its extension, in any case.
TEST(Selectors, ADroppedFileGoesToTheLoadButtonOfItsExtension) {
    const std::pair<const char*, int> cases[] = {
        {"/images/a.bin", MAIN_BIN_LOAD},
        {"A.BIN", MAIN_BIN_LOAD},
        {"c:\\x\\b.Ogm", MAIN_OGM_LOAD},
        {"/images/sample.tfs", MAIN_TFS_LOAD},
        {"S.TFS", MAIN_TFS_LOAD},
        {"/images/tfs.cfg", 0},
        {"/images/a.tfs.bak", 0},
        {"/images/x.tfs/readme", 0},
        {"/images/tfs", 0},
        {"/images/a.", 0},
        {nullptr, 0},
    };
    for (const auto& [path, button] : cases)
        EXPECT_EQ(dwl51_10LoadButtonFor(path), button) << (path != nullptr ? path : "null");
}

TEST(Selectors, TheDownloadConfigurationWritesTypeZeroAndReleasesTheBinaryLoad) {
    OperatorBench bench;
    sg_DownloadContext.DownloadType = 3;
    bench.choose(MAIN_MODE, 2); // binary group dimmed
    ASSERT_TRUE(bench.dimmed(MAIN_BIN_LOAD));
    bench.choose(MAIN_DOWNLOAD_CONFIG, 0);
    EXPECT_EQ(sg_DownloadContext.DownloadType, 0);
    EXPECT_FALSE(bench.dimmed(MAIN_BIN_LOAD));
}

int g_lineCalls = 0;
int g_lineValue = -1;
void recordLine(int emulated) {
    g_lineCalls++;
    g_lineValue = emulated;
}

TEST(Selectors, TheHandsetRingSwitchesTheLineThroughTheProgramsHook) {
    OperatorBench bench;
    g_lineCalls = 0;
    bench.choose(MAIN_LINE, 1); // no hook installed: only remembered
    EXPECT_EQ(v_LineEmulated, 1);
    v_SelectLineHook = recordLine;
    bench.choose(MAIN_LINE, 0);
    EXPECT_EQ(g_lineCalls, 1);
    EXPECT_EQ(g_lineValue, 0);
    bench.choose(MAIN_LINE, 1);
    EXPECT_EQ(g_lineCalls, 2);
    EXPECT_EQ(g_lineValue, 1);
    EXPECT_EQ(v_LineEmulated, 1);
}

TEST(Selectors, OnlyTheValueChangedEventCounts) {
    OperatorBench bench;
    SetCtrlVal(v_Panel, MAIN_SPEED, 7);
    dwl51_62MMISelectSpeed(v_Panel, MAIN_SPEED, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(sg_DownloadContext.SpeedIndex, 3);
    dwl51_62MMISelectSpeed(v_Panel, MAIN_SPEED, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(sg_DownloadContext.SpeedIndex, 7);
}

TEST(LockAndUnlock, LockFreezesThePanelAndRemovesTheMenuBar) {
    OperatorBench bench;
    dwl52_5LockDuringDownload();
    for (int control :
         {MAIN_MODEL, MAIN_COM_PORT, MAIN_SPEED, MAIN_MODE, MAIN_DOWNLOAD_CONFIG, MAIN_SIM_LOCK,
          MAIN_LINE, MAIN_START, MAIN_TFS_OGM_START, MAIN_BOOT_START, MAIN_FORMAT, MAIN_QUIT})
        EXPECT_TRUE(bench.dimmed(control)) << control;
    for (const auto& group : kGroups)
        for (int control : group)
            EXPECT_TRUE(bench.dimmed(control)) << control;
    EXPECT_FALSE(bench.menuBarShown());
    EXPECT_EQ(uis_Panel(v_Panel)->menuBar, 0);
    // Menu commands are out of reach while locked.
    EXPECT_LT(uis_OperateMenuItem(v_MenuBarHandle, MENU_WAIT_STATE(0, 2)), 0);
    EXPECT_EQ(bench.press(MAIN_START), UIE_DIMMED);
}

TEST(LockAndUnlock, UnlockReleasesTheGroupsOfTheModeOnlyAndLeavesOneMenuBar) {
    OperatorBench bench;
    for (int mode = 0; mode <= 6; mode++) {
        sg_DownloadContext.Mode = mode;
        dwl52_5LockDuringDownload();
        dwl52_6UnlockAfterDownload();
        expectGroups(bench, mode);
        EXPECT_FALSE(bench.dimmed(MAIN_START));
        EXPECT_FALSE(bench.dimmed(MAIN_COM_PORT));
        EXPECT_TRUE(bench.menuBarShown());
    }
    // Two unlocks in a row: still exactly one menu bar, the newest.
    const int before = v_MenuBarHandle;
    dwl52_6UnlockAfterDownload();
    EXPECT_NE(v_MenuBarHandle, before);
    EXPECT_EQ(uis_MenuBar(before), nullptr);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(LockAndUnlock, AnUnlockInModeThreeLeavesTheBinaryAndOgmGroupsDimmed) {
    OperatorBench bench;
    sg_DownloadContext.Mode = 3;
    dwl52_5LockDuringDownload();
    dwl52_6UnlockAfterDownload();
    EXPECT_TRUE(bench.dimmed(MAIN_BIN_LOAD));
    EXPECT_TRUE(bench.dimmed(MAIN_OGM_PATH));
    EXPECT_FALSE(bench.dimmed(MAIN_TFS_LOAD));
}

TEST(Lights, TheFlashLightNamesTheDeviceAndInitTurnsAllOff) {
    OperatorBench bench;
    ASSERT_GT(vg_FlashDescritpion.NbFlash, 0);
    const FlashDescription& chip = vg_FlashDescritpion.Flash[0];
    SetCtrlVal(v_Panel, MAIN_LED_2, 1);
    SetCtrlVal(v_Panel, MAIN_LED_3, 1);
    dwl52_1DisplayTypeFlash(chip.ManufacturerId, chip.DeviceId);
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 1);
    EXPECT_EQ(bench.label(MAIN_LED_FLASH), std::string(" Flash ") + chip.DeviceName);
    dwl52_4InitControls();
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0);
    EXPECT_EQ(bench.intValue(MAIN_LED_2), 0);
    EXPECT_EQ(bench.intValue(MAIN_LED_3), 0);
}

TEST(Menus, EveryWaitStateItemSetsItsChipSelectAndLogsItsText) {
    OperatorBench bench;
    for (int cs = 0; cs < 4; cs++) {
        for (int count = 0; count < 5; count++) {
            const size_t before = bench.lines.size();
            ASSERT_EQ(bench.menu(MENU_WAIT_STATE(cs, count)), 0);
            EXPECT_EQ(sg_DownloadContext.WaitState[cs], count);
            ASSERT_EQ(bench.lines.size(), before + 1);
            EXPECT_EQ(bench.lines.back(), " " + std::to_string(count) +
                                              " wait state on the chip select " +
                                              std::to_string(cs) + " ");
        }
    }
    bench.menu(MENU_WAIT_STATE(2, 3));
    EXPECT_TRUE(bench.logged("3 wait state on the chip select 2"));
    EXPECT_EQ(sg_DownloadContext.WaitState[2], 3);
    EXPECT_EQ(sg_DownloadContext.WaitState[1], 4);
}

// The service item shows what only config.txt and the menus set, and changes nothing.
TEST(Menus, TheServiceItemLogsTheSettingsThePanelDoesNotShow) {
    OperatorBench bench;
    bench.menu(MENU_SERVICE);
    EXPECT_EQ(bench.lines, std::vector<std::string>{
                               " Product type 2, PMU 0, download type 0, wait states 0 0 0 0 "});
    bench.menu(MENU_WAIT_STATE(3, 4));
    sg_DownloadContext.ProductType = 1;
    sg_DownloadContext.Pmu = 1;
    sg_DownloadContext.DownloadType = 3;
    bench.menu(MENU_SERVICE);
    EXPECT_EQ(bench.lines.back(), " Product type 1, PMU 1, download type 3, wait states 0 0 0 4 ");
    EXPECT_EQ(uis_LivePanels().size(), 1u);
    EXPECT_EQ(sg_DownloadContext.WaitState[3], 4);
    EXPECT_EQ(sg_DownloadContext.WaitState[0], 0);
}

TEST(Menus, AboutShowsTheHelpBox) {
    OperatorBench bench;
    bench.press(MAIN_ABOUT);
    ASSERT_EQ(uis_Messages().size(), 1u);
    EXPECT_EQ(uis_Messages()[0].title, "Help");
    const std::string& text = uis_Messages()[0].text;
    EXPECT_EQ(text.substr(0, text.find("\nVersion ")),
              "dwl - PCF5087 software download, TFS 3.10\nPCF50874-5 : 128NOR 128NAND");
    // The program's version, when it has one, however short.
    const char* const kept = v_ProgramVersion;
    for (const char* version : {"7", ""}) {
        v_ProgramVersion = version;
        uis_ClearMessages();
        bench.press(MAIN_ABOUT);
        ASSERT_EQ(uis_Messages().size(), 1u);
        const std::string& shown = uis_Messages()[0].text;
        EXPECT_EQ(shown.substr(shown.rfind('\n') + 1),
                  *version ? "Version 7" : "PCF50874-5 : 128NOR 128NAND");
    }
    v_ProgramVersion = kept;
}

TEST(Menus, TheAcknowledgementButtonsTurnTheLightsOffAndCloseTheirWindow) {
    OperatorBench bench;
    for (int resource : {MMI_PANEL_FORMAT, MMI_PANEL_TURN_ON}) {
        SetCtrlVal(v_Panel, MAIN_LED_FLASH, 1);
        const int w = LoadPanel(0, "mmi.uir", resource);
        DisplayPanel(w);
        bench.pressOk(w);
        EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0) << resource;
        EXPECT_EQ(uis_Panel(w), nullptr) << resource;
    }
}

} // namespace

namespace {

TEST(ListItems, ReplaceAndValueFromIndexKeepTheSelection) {
    OperatorBench bench;
    ASSERT_EQ(ReplaceListItem(v_Panel, MAIN_SPEED, 3, "fast", 30), 0);
    int value = 0;
    EXPECT_EQ(GetValueFromIndex(v_Panel, MAIN_SPEED, 3, &value), 0);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(bench.text(MAIN_SPEED), "fast");
    EXPECT_EQ(bench.intValue(MAIN_SPEED), 30);
    EXPECT_EQ(ReplaceListItem(v_Panel, MAIN_SPEED, 9, "x", 1), UIE_INDEX);
    EXPECT_EQ(ReplaceListItem(v_Panel, MAIN_SPEED, -1, "x", 1), UIE_INDEX);
    EXPECT_EQ(GetValueFromIndex(v_Panel, MAIN_SPEED, 9, &value), UIE_INDEX);
    EXPECT_EQ(ReplaceListItem(v_Panel, MAIN_START, 0, "x", 1), UIE_TYPE);
    EXPECT_EQ(GetValueFromIndex(v_Panel, MAIN_SPEED, 0, nullptr), UIE_TYPE);
}

} // namespace

// Start-up and the callback table: the main panel and its menu bar, the flash descriptions,
// the COM ring naming its devices, the exit status, and every layout name bound.
#include "tests/support/operator_bench.h"

#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"
#include "link/com_map.h"
#include "link/dwl12datafiles.h"
#include "link/rs232_cancel.h"
#include "procedure/dwl3_run.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "startup/dwl50dev.h"
#include "startup/dwl50reset.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>

using testsupport::OperatorBench;

namespace {

TEST(CallbackTable, BindsEveryNameOfBothLayoutFilesWithTheRightKind) {
    uis_SetLayoutDirectory((testsupport::sourceDir() + "/ui").c_str());
    std::set<std::string> seen;
    for (size_t i = 0; i < a_CallbackTableSize; i++) {
        const CallbackBinding& b = a_CallbackTable[i];
        EXPECT_TRUE(seen.insert(b.name).second) << "bound twice: " << b.name;
        EXPECT_NE(b.ctrl == nullptr, b.menu == nullptr) << b.name;
    }
    for (const char* file : {"mmi.uir", "Utility.uir"}) {
        std::vector<std::string> names;
        ASSERT_EQ(uis_LayoutCallbackNames(file, names), 0) << uis_LastError();
        for (const std::string& name : names) {
            const CallbackBinding* found = nullptr;
            for (size_t i = 0; i < a_CallbackTableSize; i++)
                if (name == a_CallbackTable[i].name) found = &a_CallbackTable[i];
            ASSERT_NE(found, nullptr) << file << ": " << name << " is not bound";
            const bool menuName = name.find("MMIMenu") != std::string::npos;
            EXPECT_EQ(found->menu != nullptr, menuName) << name;
        }
    }
    uis_SetLayoutDirectory(nullptr);
}

TEST(StartUp, ShowsTheMainPanelWithItsMenuBarAndReadsFlashTxt) {
    OperatorBench bench;
    ASSERT_GT(v_Panel, 0);
    const UiPanel* main = uis_Panel(v_Panel);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->resource, MMI_PANEL_MAIN);
    EXPECT_TRUE(main->visible);
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_GT(vg_FlashDescritpion.NbFlash, 0);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_FLASH_ERR), 0);
    // Rings start on the context's defaults.
    EXPECT_EQ(bench.intValue(MAIN_MODEL), 1);
    EXPECT_EQ(bench.intValue(MAIN_COM_PORT), 4);
    EXPECT_EQ(bench.intValue(MAIN_SPEED), 3);
    EXPECT_EQ(bench.intValue(MAIN_MODE), 0);
    EXPECT_EQ(bench.intValue(MAIN_LINE), 0);
    EXPECT_FALSE(bench.dimmed(MAIN_BIN_LOAD));
    EXPECT_FALSE(bench.dimmed(MAIN_OGM_LOAD));
    EXPECT_TRUE(bench.dimmed(MAIN_TFS_LOAD));
}

TEST(StartUp, WithoutFlashTxtShowsTheFlashWindowOverTheMainPanel) {
    OperatorBench bench(OperatorBench::Options{false, true});
    ASSERT_GT(v_Panel, 0);
    EXPECT_TRUE(uis_Panel(v_Panel)->visible);
    const int w = bench.window("Utility.uir", UTIL_PANEL_FLASH_ERR);
    ASSERT_GT(w, 0);
    EXPECT_TRUE(uis_Panel(w)->visible);
    EXPECT_EQ(bench.windowText(w), "FLASH DESCRIPTION : The file flash.txt not found");
    // The program goes on: its button releases the panel as any window's does.
    bench.pressOk(w);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_FLASH_ERR), 0);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(StartUp, AMalformedFlashTxtShowsTheCodeOfItsLine) {
    OperatorBench bench(OperatorBench::Options{false, false});
    testsupport::writeCrLfFile(bench.file("flash.txt"), {"NEW_FLASH", "MANUFACTURER_NAME INTEL"});
    ASSERT_EQ(dwl50_1InitPanels(), 0);
    const int w = bench.window("Utility.uir", UTIL_PANEL_FLASH_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w),
              "FLASH DESCRIPTION : Problem with parameter MANUFACTURER_NAME in the file flash.txt");
}

TEST(StartUp, TheComRingNamesTheDeviceOfEachNumber) {
    dwl_SetComDevice(2, "/dev/ttyS7");
    {
        OperatorBench bench;
        const UiControl* ring = uis_Control(v_Panel, MAIN_COM_PORT);
        ASSERT_NE(ring, nullptr);
        ASSERT_EQ(ring->items.size(), 4u);
        for (int port = 1; port <= 4; port++) {
            EXPECT_EQ(ring->items[port - 1].value, port);
            EXPECT_EQ(ring->items[port - 1].label,
                      "COM" + std::to_string(port) + "  " + dwl_ComDevicePath(port));
        }
        EXPECT_EQ(ring->items[1].label, "COM2  /dev/ttyS7");
        EXPECT_EQ(bench.text(MAIN_COM_PORT), "COM4  " + dwl_ComDevicePath(4));
    }
    dwl_ClearComDevices();
}

TEST(StartUp, TheHandsetRingShowsTheLineTheProgramChose) {
    OperatorBench bench(OperatorBench::Options{true, false});
    v_LineEmulated = 1;
    ASSERT_EQ(dwl50_1InitPanels(), 0);
    EXPECT_EQ(bench.intValue(MAIN_LINE), 1);
    EXPECT_EQ(bench.text(MAIN_LINE), "Emulated handset");
}

// A run leaves the context, the sector map, the TFS description, the progress, the windows and
// the held images behind; the run-time reset takes the next session back to a program's start.
TEST(RunTimeReset, TakesWhatARunLeftBackToTheStart) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 6);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 70000));
    bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
    bench.press(MAIN_START);
    ASSERT_TRUE(bench.logged("The end"));
    ASSERT_GT(sg_SectorMap.NbSectors, 0u);
    ASSERT_GT(vg_TFSDescritpion.NbFiles, 0u);
    ASSERT_GT(mv_LastShownResult.panel, 0);
    ASSERT_GT(mv_NbCommentLine, 0);
    bench.pressOk(mv_LastShownResult.panel); // releases the panel
    // What the programs and other commands leave set, in every folder.
    v_WorkFolder = "/work";
    v_DataFolderSearch = 1;
    v_SpmFromDataFolder = 1;
    rs232_Cancel();
    v_PanelTurnOn = 7;
    v_PanelFormat = 7;
    v_PanelTFSFileErr = 7;
    mv_RunActive = 1;
    mv_ResultDownload = ResultRecord{0, 0};
    v_LineEmulated = 1;

    // The reset forgets the images; whoever loaded them releases them.
    const DownloadContext before = sg_DownloadContext;
    dwl50_3ResetRunTime();
    free(before.Cla.Data);
    free(before.TfsOgm.Data);

    EXPECT_EQ(sg_DownloadContext.Mode, dwl_DefaultContext().Mode);
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
    EXPECT_EQ(sg_DownloadContext.FlashManufacturerId, 0);
    EXPECT_EQ(sg_SectorMap.NbSectors, 0u);
    EXPECT_EQ(vg_TFSDescritpion.NbFiles, 0u);
    EXPECT_EQ(vg_FlashDescritpion.NbFlash, 0);
    EXPECT_EQ(v_Format_Flag, 0);
    EXPECT_EQ(mv_SoftPourcent, 0);
    EXPECT_EQ(mv_LastShownResult.panel, 0);
    EXPECT_EQ(v_PanelSuccessful, 0);
    EXPECT_EQ(mv_NbCommentLine, 0);
    EXPECT_FALSE(dwl51_5CommandRunning());
    EXPECT_EQ(v_WorkFolder, "");
    EXPECT_EQ(v_DataFolderSearch, 0);
    EXPECT_EQ(v_SpmFromDataFolder, 0);
    EXPECT_FALSE(rs232_Cancelled());
    EXPECT_EQ(v_PanelTurnOn, 0);
    EXPECT_EQ(v_PanelFormat, 0);
    EXPECT_EQ(v_PanelTFSFileErr, 0);
    EXPECT_EQ(mv_RunActive, 0);
    EXPECT_EQ(v_LineEmulated, 0);
    EXPECT_EQ(mv_ResultDownload.family, 13);
    // A load that fails now puts back no path of the earlier run.
    bench.load(MAIN_BIN_LOAD, bench.file("missing.bin"));
    EXPECT_EQ(bench.text(MAIN_BIN_PATH), "");
}

// A view that plays the operator once the event loop runs.
class ScriptedView : public UiView {
  public:
    std::function<void()> script;
    bool looped = false;
    void processEvents() override {}
    void runEventLoop() override {
        looped = true;
        if (script) script();
        while (!uis_QuitRequested() && uis_PendingEvents() > 0)
            uis_DispatchEvents();
    }
    void quitEventLoop() override {}
    int fileSelect(const char*, const char*, const char*, std::string&) override {
        return VAL_NO_FILE_SELECTED;
    }
    void message(const char*, const char*) override {}
};

TEST(StartUp, TheQuitItemEndsTheProgramWithStatusZero) {
    OperatorBench bench(OperatorBench::Options{true, false});
    ScriptedView view;
    view.script = [&bench] {
        ASSERT_EQ(dwl10_201InitTFSDescriptionFor(bench.copyTfsSample().c_str()), 1);
        uis_OperateMenuItem(v_MenuBarHandle, MENU_QUIT);
    };
    uis_SetView(&view);
    char name[] = "dwl";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(dwl50_0Main(1, argv), 0);
    uis_SetView(nullptr);
    EXPECT_TRUE(view.looped);
    EXPECT_TRUE(uis_QuitRequested());
    // The main panel and the TFS description go with the program.
    EXPECT_EQ(v_Panel, 0);
    EXPECT_EQ(vg_TFSDescritpion.NbFiles, 0u);
    EXPECT_EQ(vg_TFSDescritpion.Files, nullptr);
}

TEST(StartUp, TheQuitButtonAndTheWindowFrameEndTheProgramToo) {
    for (int how = 0; how < 2; how++) {
        OperatorBench bench(OperatorBench::Options{true, false});
        ScriptedView view;
        view.script = [how] {
            if (how == 0)
                uis_OperateCommit(v_Panel, MAIN_QUIT);
            else
                uis_OperateClose(v_Panel);
        };
        uis_SetView(&view);
        char name[] = "dwl";
        char* argv[] = {name, nullptr};
        EXPECT_EQ(dwl50_0Main(1, argv), 0) << how;
        uis_SetView(nullptr);
        EXPECT_TRUE(uis_QuitRequested()) << how;
    }
}

int failingRunTime(int, char**) {
    return 0;
}

TEST(StartUp, ARunTimeThatCannotStartGivesMinusOneAndShowsNothing) {
    OperatorBench bench(OperatorBench::Options{true, false});
    v_InitRunTimeHook = failingRunTime;
    char name[] = "dwl";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(dwl50_0Main(1, argv), -1);
    v_InitRunTimeHook = nullptr;
    EXPECT_TRUE(uis_LivePanels().empty());
}

TEST(StartUp, AMissingMainLayoutEndsTheProgramInsteadOfRunningInvisible) {
    OperatorBench bench(OperatorBench::Options{true, false});
    uis_SetLayoutDirectory(bench.dir().path().c_str()); // no mmi.uir there
    char name[] = "dwl";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(dwl50_0Main(1, argv), -1);
    EXPECT_TRUE(uis_LivePanels().empty());
}

} // namespace

// The program's own layout files: every panel and menu bar loads once every name they use is
// bound, and the numbers the code relies on hold the controls it expects.
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int anyControl(int, int, int, void*, int, int) {
    return 0;
}
void anyMenu(int, int, void*, int) {}

class LayoutFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        uis_Reset();
        uis_SetLayoutDirectory((testsupport::sourceDir() + "/ui").c_str());
        // Bind every name the files use: control names to a control callback, menu-item names
        // to a menu callback.
        for (const char* file : {"mmi.uir", "Utility.uir"}) {
            std::vector<std::string> found;
            ASSERT_EQ(uis_LayoutCallbackNames(file, found), 0) << uis_LastError();
            for (const std::string& name : found)
                names.push_back(name);
        }
        for (const std::string& name : names) {
            const bool menu = name.find("MMIMenu") != std::string::npos;
            bindings.push_back(
                {name.c_str(), menu ? nullptr : anyControl, menu ? anyMenu : nullptr});
        }
        uis_SetCallbackTable(bindings.data(), bindings.size());
    }
    void TearDown() override {
        uis_Reset();
        uis_SetCallbackTable(nullptr, 0);
        uis_SetLayoutDirectory(nullptr);
    }
    std::vector<std::string> names;
    std::vector<CallbackBinding> bindings;
};

TEST_F(LayoutFiles, EveryPanelAndMenuBarLoads) {
    for (const char* file : {"mmi.uir", "Utility.uir"}) {
        std::vector<int> panels, menuBars;
        ASSERT_EQ(uis_LayoutResources(file, panels, menuBars), 0) << uis_LastError();
        for (int number : panels) {
            const int p = LoadPanel(0, file, number);
            EXPECT_GT(p, 0) << file << " panel " << number << ": " << uis_LastError();
            for (int m : menuBars)
                EXPECT_GT(LoadMenuBar(p, file, m), 0) << uis_LastError();
        }
    }
    std::vector<int> panels, menuBars;
    uis_LayoutResources("mmi.uir", panels, menuBars);
    EXPECT_EQ(panels, (std::vector<int>{1, 2, 3, 7, 8}));
    EXPECT_EQ(menuBars, std::vector<int>{MMI_MENUBAR});
    uis_LayoutResources("Utility.uir", panels, menuBars);
    EXPECT_EQ(panels, (std::vector<int>{1, 3, 5, 6, 7, 8, 10}));
    EXPECT_TRUE(menuBars.empty());
}

TEST_F(LayoutFiles, EveryCallbackOfTheOperatorInterfaceIsNamed) {
    std::vector<std::string> expected = {"dwl51_58MMISelectModel",
                                         "dwl51_56MMISelectPort",
                                         "dwl51_62MMISelectSpeed",
                                         "dwl_SelectMode",
                                         "dwl51_60MMIDownloadConfiguration",
                                         "dwl51_57MMISelectSimLock",
                                         "dwl51_67MMISelectLine",
                                         "dwl51_52MMILoadFile",
                                         "dwl51_52MMILoadFile_ogm",
                                         "dwl51_52MMILoadFile_TFS_ogm",
                                         "dwl51_50MMIStart",
                                         "dwl51_50MMI_TFS_ogm_Start",
                                         "dwl51_50MMI_TFS_Boot_Start",
                                         "dwl51_65MMIFormat",
                                         "dwl51_51MMIQuit",
                                         "dwl_Quit",
                                         "About_display",
                                         "dwl51_80MMIDownloadSuccessOk",
                                         "dwl51_81MMIButtonTimeOut",
                                         "dwl51_83MMIFormatOk",
                                         "dwl51_84MMIBootLoaderOk",
                                         "dwl54_0GenericErrWindowsButton",
                                         "dwl54_1FlashFileErrButton",
                                         "dwl54_2ConfFileErrButton",
                                         "dwl54_3PcLibrairiesErrButton",
                                         "dwl54_4BootErrorWindowsButton",
                                         "dwl54_6CommandErrWindowButton",
                                         "dwl54_9TFSFileErrButton",
                                         "dwl51_100MMIMenuRestore",
                                         "dwl51_101MMIMenuSave",
                                         "dwl51_102MMIMenuQuit",
                                         "dwl51_150MMIMenuService"};
    for (int cs = 0; cs < 4; cs++) {
        for (int count = 0; count < 5; count++) {
            expected.push_back("dwl51_1" + std::to_string(cs + 1) + std::to_string(count) +
                               "MMIMenuCS" + std::to_string(cs) + "_" + std::to_string(count) +
                               "WaitState");
        }
    }
    for (const std::string& name : expected) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
}

TEST_F(LayoutFiles, MainPanelNumbersHoldTheirRoles) {
    const int p = LoadPanel(0, "mmi.uir", MMI_PANEL_MAIN);
    ASSERT_GT(p, 0) << uis_LastError();
    const int m = LoadMenuBar(p, "mmi.uir", MMI_MENUBAR);
    ASSERT_GT(m, 0);
    struct Expect {
        int id;
        UiControlKind kind;
        const char* callback;
    };
    const Expect controls[] = {
        {MAIN_MODEL, UI_RING, "dwl51_58MMISelectModel"},
        {MAIN_COM_PORT, UI_RING, "dwl51_56MMISelectPort"},
        {MAIN_SPEED, UI_RING, "dwl51_62MMISelectSpeed"},
        {MAIN_MODE, UI_RING, "dwl_SelectMode"},
        {MAIN_BIN_LOAD, UI_BUTTON, "dwl51_52MMILoadFile"},
        {MAIN_BIN_PATH, UI_TEXTBOX, ""},
        {MAIN_OGM_SIZE, UI_NUMERIC, ""},
        {MAIN_TFS_SUM, UI_NUMERIC, ""},
        {MAIN_PROGRESS, UI_PROGRESS, ""},
        {MAIN_PROGRESS_PERCENT, UI_NUMERIC, ""},
        {MAIN_ELAPSED_TIME, UI_TEXTMSG, ""},
        {MAIN_LOG, UI_LISTBOX, ""},
        {MAIN_LED_FLASH, UI_LED, ""},
        {MAIN_LED_3, UI_LED, ""},
        {MAIN_START, UI_BUTTON, "dwl51_50MMIStart"},
        {MAIN_QUIT, UI_BUTTON, "dwl51_51MMIQuit"},
        {MAIN_ABOUT, UI_BUTTON, "About_display"},
    };
    for (const Expect& e : controls) {
        const UiControl* c = uis_Control(p, e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->kind, e.kind) << e.id;
        EXPECT_EQ(c->callback, e.callback) << e.id;
    }
    // Initial choices match the download context's defaults.
    int v = -1;
    GetCtrlVal(p, MAIN_MODEL, &v);
    EXPECT_EQ(v, 1);
    GetCtrlVal(p, MAIN_COM_PORT, &v);
    EXPECT_EQ(v, 4);
    EXPECT_EQ(uis_ControlText(p, MAIN_COM_PORT), "COM4");
    GetCtrlVal(p, MAIN_SPEED, &v);
    EXPECT_EQ(v, 3);
    GetCtrlVal(p, MAIN_MODE, &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(uis_Control(p, MAIN_SPEED)->items.size(), 9u);
    EXPECT_EQ(uis_Control(p, MAIN_MODE)->items.size(), 7u);
    EXPECT_EQ(uis_ControlText(p, MAIN_ELAPSED_TIME), " ");
    for (int cs = 0; cs < 4; cs++) {
        for (int count = 0; count < 5; count++) {
            const std::string name = "dwl51_1" + std::to_string(cs + 1) + std::to_string(count) +
                                     "MMIMenuCS" + std::to_string(cs) + "_" +
                                     std::to_string(count) + "WaitState";
            EXPECT_EQ(uis_FindMenuItemByCallback(m, name.c_str()), MENU_WAIT_STATE(cs, count));
        }
    }
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_100MMIMenuRestore"), MENU_RESTORE);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_101MMIMenuSave"), MENU_SAVE);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_102MMIMenuQuit"), MENU_QUIT);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_150MMIMenuService"), MENU_SERVICE);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_152MMIMenuStation"), MENU_STATION);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_153MMIMenuSectorMap"), MENU_SECTOR_MAP);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "dwl51_154MMIMenuReport"), MENU_REPORT);
}

TEST_F(LayoutFiles, WindowsCarryTextThreeAndTheirButton) {
    struct Window {
        const char* file;
        int panel;
        const char* button;
    };
    const Window windows[] = {
        {"mmi.uir", MMI_PANEL_TURN_ON, "dwl51_84MMIBootLoaderOk"},
        {"mmi.uir", MMI_PANEL_FORMAT, "dwl51_83MMIFormatOk"},
        {"mmi.uir", MMI_PANEL_TIMEOUT, "dwl51_81MMIButtonTimeOut"},
        {"mmi.uir", MMI_PANEL_SUCCESS, "dwl51_80MMIDownloadSuccessOk"},
        {"Utility.uir", UTIL_PANEL_BOOT_ERR, "dwl54_4BootErrorWindowsButton"},
        {"Utility.uir", UTIL_PANEL_COMMAND_ERR, "dwl54_6CommandErrWindowButton"},
        {"Utility.uir", UTIL_PANEL_CONF_ERR, "dwl54_2ConfFileErrButton"},
        {"Utility.uir", UTIL_PANEL_FLASH_ERR, "dwl54_1FlashFileErrButton"},
        {"Utility.uir", UTIL_PANEL_GENERIC_ERR, "dwl54_0GenericErrWindowsButton"},
        {"Utility.uir", UTIL_PANEL_LIBPC_ERR, "dwl54_3PcLibrairiesErrButton"},
        {"Utility.uir", UTIL_PANEL_TFS_ERR, "dwl54_9TFSFileErrButton"},
    };
    for (const Window& w : windows) {
        const int p = LoadPanel(0, w.file, w.panel);
        ASSERT_GT(p, 0) << w.file << " " << w.panel;
        EXPECT_EQ(uis_FindControlByCallback(p, w.button), UTIL_WINDOW_OK);
        ASSERT_NE(uis_Control(p, UTIL_WINDOW_TEXT), nullptr);
        EXPECT_EQ(SetCtrlVal(p, UTIL_WINDOW_TEXT, "The size of the TFS OGM File is Wrong.\n(x)"),
                  0);
    }
    const int turnOn = uis_FindPanel("mmi.uir", MMI_PANEL_TURN_ON);
    EXPECT_EQ(uis_Control(turnOn, MMI_WINDOW_TEXT)->text,
              "The size of the TFS OGM File is Wrong.\n(x)");
    EXPECT_EQ(uis_ControlText(LoadPanel(0, "mmi.uir", MMI_PANEL_TURN_ON), MMI_WINDOW_TEXT),
              "Please switch on the mobile");
}

} // namespace

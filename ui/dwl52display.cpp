// Indicator lights, the lock that freezes the main panel during a load or a run, and the
// windows that show a result record or a description-file error.
#include "ui/dwl52display.h"

#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "procedure/dwl3_modes.h"
#include "session/dwl_context.h"
#include "session/dwl_image_step.h"
#include "session/dwl_results.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

int v_PanelSuccessful = 0;
int v_PanelTimeout = 0;
int v_PanelGenericErr = 0;
int v_PanelLibPCErr = 0;
int v_PanelBootErr = 0;
int v_PanelCommandErr = 0;
int v_PanelFlashFileErr = 0;
int v_PanelConfFileErr = 0;
int v_PanelTFSFileErr = 0;
ShownResult mv_LastShownResult = {0, 0, 0};
const char a_CancelledMessage[] = "Download cancelled by the operator.\nThe flash may be partly "
                                  "written: download again before using the handset.";

namespace {

const int a_Lights[3] = {MAIN_LED_FLASH, MAIN_LED_2, MAIN_LED_3};

// Selectors and command controls that every unlock releases.
const int a_AlwaysReleased[] = {MAIN_MODEL,           MAIN_COM_PORT, MAIN_SPEED, MAIN_MODE,
                                MAIN_DOWNLOAD_CONFIG, MAIN_SIM_LOCK, MAIN_START, MAIN_BOOT_START,
                                MAIN_FORMAT,          MAIN_QUIT,     MAIN_LINE,  MAIN_ABOUT,
                                MAIN_CHOOSE_PORT};

// The four controls of each image group: load button, path, size, byte sum.
const int a_ImageGroups[3][4] = {
    {MAIN_BIN_LOAD, MAIN_BIN_PATH, MAIN_BIN_SIZE, MAIN_BIN_SUM},
    {MAIN_OGM_LOAD, MAIN_OGM_PATH, MAIN_OGM_SIZE, MAIN_OGM_SUM},
    {MAIN_TFS_LOAD, MAIN_TFS_PATH, MAIN_TFS_SIZE, MAIN_TFS_SUM},
};

void dimControl(int control, int dimmed) {
    SetCtrlAttribute(v_Panel, control, ATTR_DIMMED, dimmed);
}

// Loads a window, puts the message into its text control, shows it; returns the handle.
int showWindow(const char* layoutFile, int panelResource, const char* message) {
    const int panel = LoadPanel(0, layoutFile, panelResource);
    if (panel <= 0) return 0;
    if (message != nullptr) SetCtrlVal(panel, UTIL_WINDOW_TEXT, message);
    DisplayPanel(panel);
    return panel;
}

// The global handle that holds the newest window of a layout file's panel.
int* windowHandle(const char* layoutFile, int panelResource) {
    if (strcmp(layoutFile, "mmi.uir") == 0) {
        if (panelResource == MMI_PANEL_SUCCESS) return &v_PanelSuccessful;
        if (panelResource == MMI_PANEL_TIMEOUT) return &v_PanelTimeout;
        return nullptr;
    }
    switch (panelResource) {
    case UTIL_PANEL_BOOT_ERR: return &v_PanelBootErr;
    case UTIL_PANEL_COMMAND_ERR: return &v_PanelCommandErr;
    case UTIL_PANEL_CONF_ERR: return &v_PanelConfFileErr;
    case UTIL_PANEL_FLASH_ERR: return &v_PanelFlashFileErr;
    case UTIL_PANEL_GENERIC_ERR: return &v_PanelGenericErr;
    case UTIL_PANEL_LIBPC_ERR: return &v_PanelLibPCErr;
    case UTIL_PANEL_TFS_ERR: return &v_PanelTFSFileErr;
    default: return nullptr;
    }
}

// A window that came up (panel handles start at 1; a failed load is negative): its handle is
// kept and it is the last result shown.
int keepShown(int panel, int* handle, int32_t family, int32_t code) {
    if (panel <= 0) return panel;
    if (handle != nullptr) *handle = panel;
    mv_LastShownResult = {panel, family, code};
    return panel;
}

} // namespace

void dwl52_1DisplayTypeFlash(uint8_t manufacturerId, uint8_t deviceId) {
    char manufacturerName[16] = "";
    char deviceName[16] = "";
    dwl10_6GetManufacturerAndFlashName(manufacturerId, deviceId, manufacturerName, deviceName);
    deviceName[sizeof deviceName - 1] = '\0';
    char label[40];
    snprintf(label, sizeof label, " Flash %s", deviceName);
    SetCtrlAttribute(v_Panel, MAIN_LED_FLASH, ATTR_LABEL_TEXT, label);
    SetCtrlAttribute(v_Panel, MAIN_LED_FLASH, ATTR_ON_TEXT, label);
    SetCtrlVal(v_Panel, MAIN_LED_FLASH, 1);
}

void dwl52_4InitControls() {
    for (int light : a_Lights)
        SetCtrlVal(v_Panel, light, 0);
}

bool dwl52_20ModeUsesGroup(int32_t mode, int group) {
    // A mode offers the groups of the images it writes.
    const DownloadMode* m = dwl3_14Mode(mode);
    return m != nullptr && group >= 0 && group < DWL_NB_IMAGES && m->Writes[group];
}

bool dwl52_22ModeDimsTfsStart(int32_t mode) {
    return mode == 1 || mode == 3;
}

void dwl52_21ApplyModeGroups(int32_t mode, bool dimUnused) {
    int group = 0;
    for (const auto& controls : a_ImageGroups) {
        const bool used = dwl52_20ModeUsesGroup(mode, group++);
        if (!used && !dimUnused) continue;
        for (int control : controls)
            dimControl(control, used ? 0 : 1);
    }
}

void dwl52_5LockDuringDownload() {
    for (int control : a_AlwaysReleased)
        dimControl(control, 1);
    dimControl(MAIN_TFS_OGM_START, 1);
    for (const auto& group : a_ImageGroups) {
        for (int control : group)
            dimControl(control, 1);
    }
    if (v_MenuBarHandle > 0) DiscardMenuBar(v_MenuBarHandle);
    v_MenuBarHandle = 0;
    // Stop is the one control that works while the panel is locked.
    dimControl(MAIN_STOP, 0);
    ProcessSystemEvents();
}

void dwl52_6UnlockAfterDownload() {
    // LoadMenuBar replaces a menu bar that is still there: the panel keeps exactly one.
    const int menuBar = LoadMenuBar(v_Panel, "mmi.uir", MMI_MENUBAR);
    v_MenuBarHandle = menuBar > 0 ? menuBar : 0;
    dimControl(MAIN_STOP, 1);
    for (int control : a_AlwaysReleased)
        dimControl(control, 0);
    dimControl(MAIN_TFS_OGM_START, dwl52_22ModeDimsTfsStart(sg_DownloadContext.Mode) ? 1 : 0);
    dwl52_21ApplyModeGroups(sg_DownloadContext.Mode, false);
    ProcessSystemEvents();
}

int dwl52_10DisplayResult(int32_t family, int32_t code) {
    const ResultWindow window = dwl_ResultWindow(family, code, vg_TFSDescritpion.TotalSize);
    if (window.layoutFile == nullptr) return 0;
    const int panel =
        showWindow(window.layoutFile, window.panel, window.hasMessage ? window.message : nullptr);
    return keepShown(panel, windowHandle(window.layoutFile, window.panel), family, code);
}

int dwl52_14DisplayCancelled() {
    const int panel = showWindow("Utility.uir", UTIL_PANEL_GENERIC_ERR, a_CancelledMessage);
    return keepShown(panel, &v_PanelGenericErr, kFamilyCancelled, 0);
}

void dwl52_15ResetProgress() {
    SetCtrlVal(v_Panel, MAIN_PROGRESS, 0);
    SetCtrlVal(v_Panel, MAIN_PROGRESS_PERCENT, 0);
    SetCtrlVal(v_Panel, MAIN_PROGRESS_STATUS, " ");
    SetCtrlAttribute(v_Panel, MAIN_PROGRESS_STATUS, ATTR_LABEL_TEXT, " ");
    dwl_ImageStepClear();
}

int dwl52_11DisplayFlashFileErr(int32_t code) {
    const int panel = showWindow("Utility.uir", UTIL_PANEL_FLASH_ERR, dwl_FlashFileMessage(code));
    return keepShown(panel, &v_PanelFlashFileErr, 2, code);
}

int dwl52_12DisplayConfigFileErr(int32_t code) {
    const int panel = showWindow("Utility.uir", UTIL_PANEL_CONF_ERR, dwl_ConfigFileMessage(code));
    return keepShown(panel, &v_PanelConfFileErr, 3, code);
}

int dwl52_13DisplayTFSFileErr(int32_t code) {
    const int panel = showWindow("Utility.uir", UTIL_PANEL_TFS_ERR, dwl_TfsFileMessage(code));
    return keepShown(panel, &v_PanelTFSFileErr, -1, code);
}

void dwl52_ForgetWindows() {
    mv_LastShownResult = ShownResult{0, 0, 0};
    for (int* window : {&v_PanelSuccessful, &v_PanelTimeout, &v_PanelGenericErr, &v_PanelLibPCErr,
                        &v_PanelBootErr, &v_PanelCommandErr, &v_PanelFlashFileErr,
                        &v_PanelConfFileErr, &v_PanelTFSFileErr})
        *window = 0;
}

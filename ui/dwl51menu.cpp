// The menu bar: restore and save of the settings, quit, the chip-select wait states, the
// service entry; and the acknowledgement buttons of the format and turn-on windows.
#include "ui/dwl51mmi.h"

#include "boot/dwl1boot.h"
#include "config/dwl56conf.h"
#include "procedure/dwl3_run.h"
#include "session/dwl_context.h"
#include "ui/dwl52display.h"
#include "ui/dwl54util.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cstdio>

namespace {

constexpr int32_t kFamilyConfig = 3;

void setWaitState(int chipSelect, int count) {
    if (!dwl51_6BeginCommand()) return;
    sg_DownloadContext.WaitState[chipSelect] = static_cast<uint8_t>(count);
    char text[48];
    snprintf(text, sizeof text, "%d wait state on the chip select %d", count, chipSelect);
    dwl50_1AddComment(text);
    dwl51_7EndCommand();
}

} // namespace

int dwl51_105RestoreConfigFrom(const char* file) {
    ConfigRestored restored;
    const int step = dwl56_3RestoreConfigFrom(file, &restored);
    if (restored.claFile) dwl51_0InitLoadFile();
    if (restored.comPort) SetCtrlVal(v_Panel, MAIN_COM_PORT, sg_DownloadContext.ComPort);
    if (restored.complete) SetCtrlAttribute(v_Panel, MAIN_BIN_LOAD, ATTR_DIMMED, 0);
    return step;
}

int dwl51_104RestoreConfig() {
    return dwl51_105RestoreConfigFrom(dwl56_2ConfigFile().c_str());
}

int dwl51_106RestoreSettings(const char* file) {
    if (!dwl51_6BeginCommand()) return 0;
    const int step = dwl51_105RestoreConfigFrom(file);
    if (step != DWL_STEP_OK) dwl52_10DisplayResult(kFamilyConfig, step);
    dwl51_7EndCommand();
    return step;
}

void dwl51_100MMIMenuRestore(int, int, void*, int) {
    dwl51_106RestoreSettings(dwl56_2ConfigFile().c_str());
}

void (*v_SaveLogHook)() = nullptr;

void dwl51_103MMIMenuSaveLog(int, int, void*, int) {
    if (v_SaveLogHook != nullptr) v_SaveLogHook();
}

void (*v_StationHook)() = nullptr;

void dwl51_152MMIMenuStation(int, int, void*, int) {
    if (v_StationHook != nullptr) v_StationHook();
}

void (*v_SectorMapHook)() = nullptr;

void dwl51_153MMIMenuSectorMap(int, int, void*, int) {
    if (v_SectorMapHook != nullptr) v_SectorMapHook();
}

void (*v_ReportHook)() = nullptr;

void dwl51_154MMIMenuReport(int, int, void*, int) {
    if (v_ReportHook != nullptr) v_ReportHook();
}

void dwl51_101MMIMenuSave(int, int, void*, int) {
    if (!dwl51_6BeginCommand()) return;
    const int step = dwl56_1SaveConfig();
    if (step != DWL_STEP_OK) dwl52_10DisplayResult(kFamilyConfig, step);
    dwl51_7EndCommand();
}

void dwl51_102MMIMenuQuit(int, int, void*, int) {
    // Start-up releases the images once the event loop has ended.
    if (dwl51_5CommandRunning()) return;
    QuitUserInterface(0);
}

void dwl51_150MMIMenuService(int, int, void*, int) {
    // The settings that change a run but show nowhere on the panel (config.txt and the menus).
    if (!dwl51_6BeginCommand()) return;
    const DownloadContext& c = sg_DownloadContext;
    dwl50_2AddCommentF("Product type %d, PMU %d, download type %d, wait states %u %u %u %u",
                       c.ProductType, c.Pmu, c.DownloadType, c.WaitState[0], c.WaitState[1],
                       c.WaitState[2], c.WaitState[3]);
    dwl51_7EndCommand();
}

int dwl51_83MMIFormatOk(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    dwl52_4InitControls();
    // The notice goes; the format goes on to its own result window.
    DiscardPanel(panel);
    if (panel == v_PanelFormat) v_PanelFormat = 0;
    return 0;
}

int dwl51_84MMIBootLoaderOk(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT && event != EVENT_CLOSE) return 0;
    if (event == EVENT_COMMIT) dwl52_4InitControls();
    // The operator has seen it: the window goes, whether its run still waits or is over.
    if (panel == v_PanelTurnOn)
        dwl54_12CloseTurnOn();
    else
        DiscardPanel(panel);
    return 0;
}

void dwl51_110MMIMenuCS0_0WaitState(int, int, void*, int) {
    setWaitState(0, 0);
}

void dwl51_111MMIMenuCS0_1WaitState(int, int, void*, int) {
    setWaitState(0, 1);
}

void dwl51_112MMIMenuCS0_2WaitState(int, int, void*, int) {
    setWaitState(0, 2);
}

void dwl51_113MMIMenuCS0_3WaitState(int, int, void*, int) {
    setWaitState(0, 3);
}

void dwl51_114MMIMenuCS0_4WaitState(int, int, void*, int) {
    setWaitState(0, 4);
}

void dwl51_120MMIMenuCS1_0WaitState(int, int, void*, int) {
    setWaitState(1, 0);
}

void dwl51_121MMIMenuCS1_1WaitState(int, int, void*, int) {
    setWaitState(1, 1);
}

void dwl51_122MMIMenuCS1_2WaitState(int, int, void*, int) {
    setWaitState(1, 2);
}

void dwl51_123MMIMenuCS1_3WaitState(int, int, void*, int) {
    setWaitState(1, 3);
}

void dwl51_124MMIMenuCS1_4WaitState(int, int, void*, int) {
    setWaitState(1, 4);
}

void dwl51_130MMIMenuCS2_0WaitState(int, int, void*, int) {
    setWaitState(2, 0);
}

void dwl51_131MMIMenuCS2_1WaitState(int, int, void*, int) {
    setWaitState(2, 1);
}

void dwl51_132MMIMenuCS2_2WaitState(int, int, void*, int) {
    setWaitState(2, 2);
}

void dwl51_133MMIMenuCS2_3WaitState(int, int, void*, int) {
    setWaitState(2, 3);
}

void dwl51_134MMIMenuCS2_4WaitState(int, int, void*, int) {
    setWaitState(2, 4);
}

void dwl51_140MMIMenuCS3_0WaitState(int, int, void*, int) {
    setWaitState(3, 0);
}

void dwl51_141MMIMenuCS3_1WaitState(int, int, void*, int) {
    setWaitState(3, 1);
}

void dwl51_142MMIMenuCS3_2WaitState(int, int, void*, int) {
    setWaitState(3, 2);
}

void dwl51_143MMIMenuCS3_3WaitState(int, int, void*, int) {
    setWaitState(3, 3);
}

void dwl51_144MMIMenuCS3_4WaitState(int, int, void*, int) {
    setWaitState(3, 4);
}

// The main panel: the selectors that write the operator's choices into the download context,
// the guard that keeps one command at a time, quit and the about box.
#include "ui/dwl51mmi.h"

#include "link/com_map.h"
#include "session/dwl_context.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

void (*v_SelectLineHook)(int emulated) = nullptr;
int v_LineEmulated = 0;
bool (*v_ChoosePortHook)(int comPort) = nullptr;
const char* v_ProgramVersion = nullptr;

namespace {

int mv_CommandRunning = 0;

// A selector turned while a command runs: the choice is refused and the ring shows the value
// the command works with.
void refuseChoice(int panel, int control, int value) {
    SetCtrlVal(panel, control, value);
}

} // namespace

bool dwl51_5CommandRunning() {
    return mv_CommandRunning != 0;
}

bool dwl51_6BeginCommand() {
    if (mv_CommandRunning != 0) return false;
    mv_CommandRunning = 1;
    return true;
}

void dwl51_7EndCommand() {
    mv_CommandRunning = 0;
}

void dwl51_14LabelComPorts() {
    int count = 0;
    GetNumListItems(v_Panel, MAIN_COM_PORT, &count);
    for (int i = 0; i < count; i++) {
        int port = 0;
        if (GetValueFromIndex(v_Panel, MAIN_COM_PORT, i, &port) != 0) break;
        const std::string label = "COM" + std::to_string(port) + "  " + dwl_ComDevicePath(port);
        ReplaceListItem(v_Panel, MAIN_COM_PORT, i, label.c_str(), port);
    }
}

int dwl51_10LoadButtonFor(const char* path) {
    const char* dot = path != nullptr ? std::strrchr(path, '.') : nullptr;
    if (dot == nullptr || std::strchr(dot, '/') != nullptr) return 0;
    std::string extension;
    for (const char* p = dot + 1; *p != '\0'; p++)
        extension += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    if (extension == "bin") return MAIN_BIN_LOAD;
    if (extension == "ogm") return MAIN_OGM_LOAD;
    if (extension == "tfs") return MAIN_TFS_LOAD;
    return 0;
}

void dwl51_2InitMainPanel() {
    // The COM ring names the device each number opens on this machine.
    dwl51_14LabelComPorts();
    SetCtrlVal(v_Panel, MAIN_MODEL, sg_DownloadContext.Model);
    SetCtrlVal(v_Panel, MAIN_COM_PORT, sg_DownloadContext.ComPort);
    SetCtrlVal(v_Panel, MAIN_SPEED, sg_DownloadContext.SpeedIndex);
    SetCtrlVal(v_Panel, MAIN_MODE, sg_DownloadContext.Mode);
    SetCtrlVal(v_Panel, MAIN_LINE, v_LineEmulated);
    dwl52_21ApplyModeGroups(sg_DownloadContext.Mode, true);
    SetCtrlAttribute(v_Panel, MAIN_TFS_OGM_START, ATTR_DIMMED,
                     dwl52_22ModeDimsTfsStart(sg_DownloadContext.Mode) ? 1 : 0);
}

int dwl51_58MMISelectModel(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (dwl51_5CommandRunning()) {
        refuseChoice(panel, control, sg_DownloadContext.Model);
        return 0;
    }
    GetCtrlVal(panel, control, &sg_DownloadContext.Model);
    return 0;
}

int dwl51_56MMISelectPort(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (dwl51_5CommandRunning()) {
        refuseChoice(panel, control, sg_DownloadContext.ComPort);
        return 0;
    }
    GetCtrlVal(panel, control, &sg_DownloadContext.ComPort);
    return 0;
}

int dwl51_62MMISelectSpeed(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (dwl51_5CommandRunning()) {
        refuseChoice(panel, control, sg_DownloadContext.SpeedIndex);
        return 0;
    }
    GetCtrlVal(panel, control, &sg_DownloadContext.SpeedIndex);
    return 0;
}

int dwl_SelectMode(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (dwl51_5CommandRunning()) {
        refuseChoice(panel, control, sg_DownloadContext.Mode);
        return 0;
    }
    GetCtrlVal(panel, control, &sg_DownloadContext.Mode);
    const int32_t mode = sg_DownloadContext.Mode;
    if (mode < 0 || mode > 6) return 0;
    dwl52_21ApplyModeGroups(mode, true);
    // The model comes back with the next unlock.
    SetCtrlAttribute(panel, MAIN_MODEL, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, MAIN_TFS_OGM_START, ATTR_DIMMED,
                     dwl52_22ModeDimsTfsStart(mode) ? 1 : 0);
    return 0;
}

int dwl51_60MMIDownloadConfiguration(int panel, int, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED || dwl51_5CommandRunning()) return 0;
    sg_DownloadContext.DownloadType = 0;
    SetCtrlAttribute(panel, MAIN_BIN_LOAD, ATTR_DIMMED, 0);
    return 0;
}

int dwl51_57MMISelectSimLock(int, int, int, void*, int, int) {
    return 0;
}

int dwl51_67MMISelectLine(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (dwl51_5CommandRunning()) {
        refuseChoice(panel, control, v_LineEmulated);
        return 0;
    }
    int emulated = 0;
    GetCtrlVal(panel, control, &emulated);
    v_LineEmulated = emulated != 0 ? 1 : 0;
    if (v_SelectLineHook != nullptr) v_SelectLineHook(v_LineEmulated);
    return 0;
}

int dwl51_51MMIQuit(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || dwl51_5CommandRunning()) return 0;
    dwl51_3FreeImages();
    QuitUserInterface(0);
    return 0;
}

int dwl_Quit(int, int, int, void*, int, int) {
    // The images belong to the command that runs; quitting waits for its end.
    if (dwl51_5CommandRunning()) return 0;
    dwl51_3FreeImages();
    QuitUserInterface(0);
    return 0;
}

int dwl51_68MMIStop(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && dwl51_5CommandRunning()) dwl51_11RequestStop();
    return 0;
}

int dwl51_69MMIChoosePort(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || v_ChoosePortHook == nullptr || !dwl51_6BeginCommand()) return 0;
    if (v_ChoosePortHook(sg_DownloadContext.ComPort)) dwl51_14LabelComPorts();
    dwl51_7EndCommand();
    return 0;
}

int About_display(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    std::string text = "dwl - PCF5087 software download, TFS 3.10\n"
                       "PCF50874-5 : 128NOR 128NAND";
    if (v_ProgramVersion != nullptr && v_ProgramVersion[0] != '\0')
        text += std::string("\nVersion ") + v_ProgramVersion;
    MessagePopup("Help", text.c_str());
    return 0;
}

void dwl51_ResetRunTime() {
    v_LineEmulated = 0;
    mv_RunActive = 0;
    dwl51_7EndCommand();
    dwl51_16ForgetHeldPaths();
    dwl52_ForgetWindows();
}

#include "platform/windows/gui/win32_operator.h"

#include "app/gui/gui_aids.h"
#include "link/com_map.h"
#include "platform/windows/gui/win32_port_picker.h"
#include "platform/windows/gui/win32_view.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <deque>
#include <memory>

namespace {

constexpr int kLoadPollMsecs = 20;
const wchar_t kPortsKey[] = L"Software\\dwl\\dwl-gui\\ports";

struct Aids {
    Win32UiView* view = nullptr;
    void (*selectLine)(int emulated) = nullptr;
    std::string baseTitle;
    std::deque<std::string> files;
    UINT_PTR loadTimer = 0;
};

std::unique_ptr<Aids>& aids() {
    static std::unique_ptr<Aids> a;
    return a;
}

void showTitle() {
    Aids& a = *aids();
    HWND main = a.view->mainWindow();
    if (main == nullptr) return;
    if (a.baseTitle.empty()) a.baseTitle = win32_WindowText(main);
    SetWindowTextW(main, win32_Wide(dwlgui_WindowTitle(a.baseTitle)).c_str());
}

void changed(int panel, int control) {
    if (panel != v_Panel || !aids()) return;
    if (control == MAIN_LOG) dwlgui_LogChanged();
    if (control == MAIN_COM_PORT) showTitle();
}

void selectLineAndShow(int emulated) {
    if (aids()->selectLine != nullptr) aids()->selectLine(emulated);
    showTitle();
}

void pressed(int panel, int control) {
    if (panel == v_Panel && control == MAIN_STOP) dwlgui_StopPressed();
}

bool choosePort(int com) {
    Aids& a = *aids();
    const std::string path = win32_PickPort(*a.view, com, dwl_ComDevicePath(com));
    if (path.empty()) return false;
    const std::wstring name = L"COM" + std::to_wstring(com);
    const std::wstring value = win32_Wide(path);
    RegSetKeyValueW(HKEY_CURRENT_USER, kPortsKey, name.c_str(), REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    dwlgui_PortChosen(com, path);
    showTitle();
    return true;
}

void saveLog() {
    Aids& a = *aids();
    Win32FileDialog d;
    d.save = true;
    d.title = L"Save operator log";
    d.filter = std::wstring(L"Text files (*.txt, *.log)") + L'\0' + L"*.txt;*.log" + L'\0' +
               L"All files (*.*)" + L'\0' + L"*.*" + L'\0';
    d.fileName = win32_Wide(dwlgui_LogFileName());
    d.defaultExtension = L"txt";
    std::string path;
    if (a.view->runFileDialog(d, path) == VAL_NO_FILE_SELECTED) return;
    if (!dwlgui_WriteLog(path)) MessagePopup("Save operator log", ("Cannot write " + path).c_str());
}

void loadNext();

void CALLBACK loadTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!aids()) return;
    aids()->loadTimer = 0;
    loadNext();
}

void loadLater() {
    Aids& a = *aids();
    if (a.loadTimer == 0) a.loadTimer = SetTimer(nullptr, 0, kLoadPollMsecs, &loadTimer);
}

// Presses the next file's load button once the load before it has run to its end.
void loadNext() {
    Aids& a = *aids();
    if (!dwlgui_LoadDone()) {
        loadLater();
        return;
    }
    Win32UiView* view = a.view;
    if (!dwlgui_PressNextLoad(
            a.files, [view](const std::string& path) { view->answerNextFileSelect(path); }))
        return;
    view->scheduleDispatch();
    if (!a.files.empty()) loadLater();
}

} // namespace

void win32_InstallOperatorAids(Win32UiView& view) {
    win32_RemoveOperatorAids();
    aids() = std::make_unique<Aids>();
    Aids& a = *aids();
    a.view = &view;
    view.addChangeObserver(&changed);
    view.setPressObserver(&pressed);
    view.setMenuCheck(&dwlgui_MenuItemChecked);
    view.setDropHandler(
        [&view](const std::vector<std::string>& paths) { win32_LoadFiles(view, paths); });
    view.setTicker(kDwlGuiTickMsecs, &dwlgui_Tick);
    dwlgui_StartAids();
    v_ChoosePortHook = &choosePort;
    v_SaveLogHook = &saveLog;
    a.selectLine = v_SelectLineHook;
    v_SelectLineHook = &selectLineAndShow;
    showTitle();
}

void win32_RemoveOperatorAids() {
    if (!aids()) return;
    Aids& a = *aids();
    v_ChoosePortHook = nullptr;
    v_SaveLogHook = nullptr;
    if (v_SelectLineHook == &selectLineAndShow) v_SelectLineHook = a.selectLine;
    if (a.loadTimer != 0) KillTimer(nullptr, a.loadTimer);
    dwlgui_StopAids();
    a.view->setDropHandler(nullptr);
    a.view->setMenuCheck(nullptr);
    a.view->setPressObserver(nullptr);
    a.view->setTicker(0, nullptr);
    aids().reset();
}

void win32_LoadFiles(Win32UiView&, const std::vector<std::string>& paths) {
    if (!aids()) return;
    aids()->files.insert(aids()->files.end(), paths.begin(), paths.end());
    loadNext();
}

void win32_RestorePortChoices() {
    for (int com = 1; com <= 4; com++) {
        if (dwlgui_PortSetByEnvironment(com)) continue;
        const std::wstring name = L"COM" + std::to_wstring(com);
        wchar_t value[1024] = L"";
        DWORD size = sizeof value - sizeof(wchar_t);
        if (RegGetValueW(HKEY_CURRENT_USER, kPortsKey, name.c_str(), RRF_RT_REG_SZ, nullptr, value,
                         &size) == ERROR_SUCCESS &&
            value[0] != L'\0')
            dwl_SetComDevice(com, win32_Utf8(value));
    }
}

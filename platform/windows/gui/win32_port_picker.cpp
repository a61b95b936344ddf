#include "platform/windows/gui/win32_port_picker.h"

#include "link/com_map.h"
#include "platform/windows/gui/win32_view.h"

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

constexpr int kProbedPorts = 32;
const wchar_t kPickerClass[] = L"dwlPortPicker";
constexpr int kDevices = 100;

Win32PortAnswer& testAnswer() {
    static Win32PortAnswer answer;
    return answer;
}

int comNumber(const std::string& name) {
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "com") != 0))
        return 0;
    return std::atoi(name.c_str() + 3);
}

void fromDeviceManager(std::map<int, Win32ComPort>& ports) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); i++) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t name[64] = L"";
        DWORD size = sizeof name - sizeof(wchar_t);
        DWORD type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named) continue;
        const std::string port = win32_Utf8(name);
        const int n = comNumber(port);
        if (n <= 0) continue; // a printer port (LPT1) is in the class too
        wchar_t friendly[256] = L"";
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr);
        ports[n] = {"COM" + std::to_string(n), win32_Utf8(friendly)};
    }
    SetupDiDestroyDeviceInfoList(set);
}

void fromSerialComm(std::map<int, Win32ComPort>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; i++) {
        wchar_t value[256], data[64];
        DWORD valueSize = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG rc = RegEnumValueW(key, i, value, &valueSize, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        const int n = comNumber(win32_Utf8(data));
        if (n > 0 && ports.count(n) == 0) ports[n] = {"COM" + std::to_string(n), ""};
    }
    RegCloseKey(key);
}

struct Picker {
    HWND hwnd = nullptr;
    HWND devices = nullptr;
    bool done = false;
    bool accepted = false;
    std::string chosen;
};

LRESULT CALLBACK pickerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* picker = reinterpret_cast<Picker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (picker != nullptr) {
        if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            picker->accepted = LOWORD(wParam) == IDOK;
            picker->chosen = win32_WindowText(picker->devices);
            picker->done = true;
            return 0;
        }
        if (msg == WM_CLOSE) {
            picker->done = true;
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
           int h, int id, HFONT font) {
    HWND made = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return made;
}

} // namespace

std::vector<Win32ComPort> win32_ListComPorts() {
    std::map<int, Win32ComPort> ports;
    fromDeviceManager(ports);
    fromSerialComm(ports);
    for (int n = 1; n <= kProbedPorts; n++)
        if (ports.count(n) == 0 && dwl_SerialDevicePresent(dwl_SystemComDevice(n)))
            ports[n] = {"COM" + std::to_string(n), ""};
    std::vector<Win32ComPort> out;
    for (auto& [n, port] : ports)
        out.push_back(port);
    return out;
}

std::string win32_PortLabel(const Win32ComPort& port) {
    std::string about = port.friendly;
    // "USB Serial Port (COM5)" says its name twice.
    const std::string suffix = " (" + port.name + ")";
    if (about.size() > suffix.size() &&
        about.compare(about.size() - suffix.size(), suffix.size(), suffix) == 0)
        about.resize(about.size() - suffix.size());
    return about.empty() ? port.name : port.name + "  (" + about + ")";
}

std::string win32_PortDevice(const std::string& chosen, const std::vector<Win32ComPort>& ports) {
    std::string text = chosen;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    for (const Win32ComPort& port : ports)
        if (win32_PortLabel(port) == text) return dwl_SystemPortDevice(port.name);
    const std::string device = dwl_SystemPortDevice(text);
    return device.empty() ? text : device;
}

void win32_SetPortPickerAnswer(Win32PortAnswer answer) {
    testAnswer() = std::move(answer);
}

std::string win32_PickPort(Win32UiView& view, int comPort, const std::string& current) {
    const std::vector<Win32ComPort> ports = win32_ListComPorts();
    std::vector<std::string> labels;
    for (const Win32ComPort& port : ports)
        labels.push_back(win32_PortLabel(port));
    if (testAnswer()) {
        const std::string chosen = testAnswer()(comPort, labels);
        return chosen.empty() ? std::string() : win32_PortDevice(chosen, ports);
    }

    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &pickerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kPickerClass;
        RegisterClassExW(&wc);
        registered = true;
    }
    HWND owner = view.mainWindow();
    HDC dc = GetDC(owner);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ReleaseDC(owner, dc);
    auto s = [dpi](int v) { return MulDiv(v, dpi, 96); };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    Picker picker;
    RECT r{0, 0, s(480), s(120)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    const std::wstring title = L"Port of COM" + std::to_wstring(comPort);
    picker.hwnd =
        CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kPickerClass, title.c_str(),
                        style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                        owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (picker.hwnd == nullptr) {
        DeleteObject(font);
        return {};
    }
    SetWindowLongPtrW(picker.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&picker));
    const std::wstring prompt =
        L"Device that COM" + std::to_wstring(comPort) + L" opens (choose one, or type its name):";
    child(picker.hwnd, L"STATIC", prompt.c_str(), SS_LEFT, s(12), s(12), s(456), s(18), 0, font);
    picker.devices = child(picker.hwnd, L"COMBOBOX", L"",
                           CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, s(12), s(36),
                           s(456), s(200), kDevices, font);
    for (const std::string& label : labels)
        SendMessageW(picker.devices, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(win32_Wide(label).c_str()));
    // The port it opens now: its line when it is listed, else its name.
    std::string shown = current;
    for (size_t i = 0; i < ports.size(); i++)
        if (dwl_SystemPortDevice(ports[i].name) == current) shown = labels[i];
    SetWindowTextW(picker.devices, win32_Wide(shown).c_str());
    child(picker.hwnd, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, s(292), s(80), s(84), s(26),
          IDOK, font);
    child(picker.hwnd, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, s(384), s(80), s(84),
          s(26), IDCANCEL, font);

    // Centred on the main window, modal to it.
    RECT o{}, me{};
    GetWindowRect(owner, &o);
    GetWindowRect(picker.hwnd, &me);
    SetWindowPos(picker.hwnd, nullptr, (o.left + o.right - (me.right - me.left)) / 2,
                 (o.top + o.bottom - (me.bottom - me.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    view.suspendDispatch();
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(picker.hwnd, SW_SHOW);
    SetFocus(picker.devices);
    MSG msg;
    while (!picker.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(picker.hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner != nullptr) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    DestroyWindow(picker.hwnd);
    DeleteObject(font);
    view.resumeDispatch();
    if (!picker.accepted || picker.chosen.empty()) return {};
    return win32_PortDevice(picker.chosen, ports);
}

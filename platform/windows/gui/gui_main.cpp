// dwl-gui.exe: the bench operator's program on Windows. The main panel and its windows drawn
// with the system's own controls, the COM ports on the machine's serial ports, or, on request,
// on the emulated handset inside the program.
//
//     dwl-gui.exe [--sim] [--version] [--help] [FILE...] [-- FILE...]
//     dwl-gui.exe --station [station options]
//
// Image files named (*.bin, *.ogm, *.tfs; a file association or "Open with" names them so) are
// loaded as their load buttons would load them. --station opens the production station window
// alone.
#include "app/gui/gui_line.h"
#include "app/gui/gui_options.h"
#include "dwl_version.h"
#include "link/child_process.h"
#include "platform/windows/gui/station_window.h"
#include "platform/windows/gui/win32_operator.h"
#include "platform/windows/gui/win32_sector_map.h"
#include "platform/windows/gui/win32_station.h"
#include "platform/windows/gui/win32_view.h"
#include "platform/windows/gui/win32_wait.h"
#include "startup/dwl50dev.h"
#include "ui/dwl51mmi.h"
#include "uis/uis.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int runTimeReady(int, char**) {
    return 1;
}

// The arguments as UTF-8, whatever the system's code page.
std::vector<std::string> arguments() {
    std::vector<std::string> out;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return out;
    for (int i = 0; i < count; i++)
        out.push_back(win32_Utf8(wide[i]));
    LocalFree(wide);
    return out;
}

std::string absolutePath(const std::string& path) {
    const std::wstring wide = win32_Wide(path);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(got);
    return win32_Utf8(full);
}

// A program without a console of its own writes its help into the one it was started from.
void toParentConsole() {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

Win32UiView* g_view = nullptr;

void openStation() {
    int status = 0;
    dwl_OpenStationWindow(g_view != nullptr ? g_view->mainWindow() : nullptr, {}, &status);
}

// Service -> Open report: dwl.exe results writes the page of the station's results file to this
// user's temporary folder, and the desktop's browser shows it.
void openReport() {
    const HWND owner = g_view != nullptr ? g_view->mainWindow() : nullptr;
    const std::string results = dwlwin::restoreStationSettings().results;
    if (results.empty()) {
        MessageBoxW(owner, L"Name the station's results file first (Service, Production station).",
                    L"Open report", MB_OK | MB_ICONINFORMATION);
        return;
    }
    wchar_t folder[MAX_PATH + 1] = L"";
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    const std::string page = win32_Utf8(std::wstring(folder, n)) + "dwl-report.html";
    const std::string program = dwlwin::stationProgram();
    ChildOptions options;
    options.in = kChildNull;
    options.out = kChildNull;
    options.err = kChildNull;
    options.noConsoleWindow = true;
    ChildHandle child;
    int status = -1;
    // The page of 100,000 runs takes about a second.
    if (dwl_StartProgram(program, {program, "results", "--db", results, "--html", page}, options,
                         &child) &&
        !dwl_WaitChild(&child, 60000, &status))
        dwl_EndChild(&child, 0);
    if (status == 0 &&
        reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", win32_Wide(page).c_str(), nullptr,
                                                nullptr, SW_SHOWNORMAL)) > 32)
        return;
    const std::wstring text = L"No report of " + win32_Wide(results) +
                              (status == 0 ? L": no browser opened the page " + win32_Wide(page)
                                           : L": dwl.exe results could not write it");
    MessageBoxW(owner, text.c_str(), L"Open report", MB_OK | MB_ICONERROR);
}

void showSectorMap() {
    win32_ShowSectorMap();
}

int runStationAlone(const std::vector<std::string>& args) {
    int status = 0;
    if (!dwl_OpenStationWindow(nullptr, args, &status)) return status != 0 ? status : 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        Win32UiView::deliver(msg);
    return static_cast<int>(msg.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args = arguments();
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    GuiOptions options = dwlgui_ReadOptions(static_cast<int>(argv.size()), argv.data());
    if (options.help || options.version) {
        toParentConsole();
        if (options.help)
            std::fputs(dwlgui_Usage(), stdout);
        else
            std::printf("dwl-gui %s\n", DWL_VERSION);
        std::fflush(stdout);
        return 0;
    }
    // Without a toolkit of its own, whatever is not ours is an image file or a mistake.
    std::vector<std::string> left(options.forQt.begin() + (options.forQt.empty() ? 0 : 1),
                                  options.forQt.end());
    if (options.station) return runStationAlone(left);
    const std::string unknown = dwlgui_UnknownOption(left);
    if (!unknown.empty()) {
        toParentConsole();
        std::fprintf(stderr, "dwl-gui: unknown option %s\n%s", unknown.c_str(), dwlgui_Usage());
        const std::wstring text = L"Unknown option " + win32_Wide(unknown);
        MessageBoxW(nullptr, text.c_str(), L"dwl-gui", MB_OK | MB_ICONERROR);
        return 2;
    }
    left.insert(left.end(), options.files.begin(), options.files.end());
    std::vector<std::string> files;
    for (const std::string& arg : left)
        files.push_back(absolutePath(arg));

    v_ProgramVersion = DWL_VERSION;
    dwlgui_InstallCable();
    win32_RestorePortChoices();
    Win32UiView view;
    g_view = &view;
    view.install();
    win32_InstallWaitHook();
    dwlgui_UseLayoutFolder();

    v_SelectLineHook = &dwlgui_SelectLine;
    v_StationHook = &openStation;
    v_ReportHook = &openReport;
    v_SectorMapHook = &showSectorMap;
    if (options.emulated) {
        v_LineEmulated = 1;
        dwlgui_SelectLine(1);
    }
    v_InitRunTimeHook = &runTimeReady;

    // Once the main panel is up and the loop runs: the aids, the sector map beside the main
    // window, and the files named.
    view.later([&view, files] {
        win32_InstallSectorMap(view);
        win32_InstallOperatorAids(view);
        if (!files.empty()) win32_LoadFiles(view, files);
    });
    char* mainArgs[] = {argv.empty() ? nullptr : argv[0], nullptr};
    const int rc = dwl50_0Main(1, mainArgs);
    // A station still running keeps its window until the operator closes it.
    dwlwin::finishStationWindow();
    win32_RemoveOperatorAids();
    v_StationHook = nullptr;
    v_ReportHook = nullptr;
    v_SectorMapHook = nullptr;
    win32_RemoveSectorMap();
    win32_RemoveWaitHook();
    v_SelectLineHook = nullptr;
    dwlgui_SelectLine(0);
    uis_SetView(nullptr);
    g_view = nullptr;
    return rc;
}

// The station window alone, as `dwl-gui.exe --station` shows it: for trying the window out
// until it is reached from dwl-gui.exe.
//
//     dwl-station-window [--station] [--port P]... [--bin F] [--ogm F] [--tfs F] [--mode M]
//                        [--speed S] [--station NAME] [--results FILE|ADDRESS] [--start]
#include "platform/windows/gui/station_child.h"
#include "platform/windows/gui/station_window.h"

#include <windows.h>

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; i < count; i++)
        args.push_back(dwlwin::utf8(argv[i]));
    LocalFree(argv);
    if (!args.empty() && args[0] == "--station") args.erase(args.begin());
    return dwlwin::runStationProgram(args);
}

// The production station window of dwl-gui.exe. The program calls it for --station and for the
// Service menu's "Production station…"; the window itself lives in the station_* files of this
// folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Opens the station window. From the menu: owner is the main window, args empty, and the call
// returns once the window is up. Alone (--station): owner nullptr, args the options after
// --station; the window ends the program's message loop (PostQuitMessage with the exit status)
// when it closes. False when no window opened (the reason shown to the operator, or for bad
// options written to stderr with *status set).
bool dwl_OpenStationWindow(HWND owner, const std::vector<std::string>& args, int* status);

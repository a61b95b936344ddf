// What the bench operator gets around the main panel in dwl-gui.exe (app/gui/gui_aids.h wired
// to the Win32 view): Stop that acts at once, image files dropped on the window or named on the
// command line, the port picker with its choices kept in the registry
// (HKEY_CURRENT_USER\Software\dwl\dwl-gui\ports), the port in the window title, the live
// progress line and elapsed time, the chip-select ticks, and the operator log saved with the
// time of each line.
#pragma once

#include <string>
#include <vector>

class Win32UiView;

// Wires everything to the view's main panel (loaded already).
void win32_InstallOperatorAids(Win32UiView& view);
void win32_RemoveOperatorAids();
// Loads image files through their load buttons, one after the other.
void win32_LoadFiles(Win32UiView& view, const std::vector<std::string>& paths);
// Puts back the devices the operator chose for the COM numbers at earlier starts (DWL_COMn wins).
void win32_RestorePortChoices();

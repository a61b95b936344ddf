// What the bench operator gets around the main panel of the layout: Stop that acts at once,
// image files dropped on the window or named on the command line, a port picker whose choices
// are kept across starts, the port in the window title, a live progress line and a ticking
// elapsed time, and the operator log saved with the time of each line.
#pragma once

#include <string>
#include <vector>

class QtUiView;

// Wires everything to the view's main panel (loaded already). Call once per main panel.
void dwlgui_InstallOperatorAids(QtUiView& view);
void dwlgui_RemoveOperatorAids();

// Loads image files through their load buttons, with the buttons' checks and messages; a file
// of another kind, or one whose button is dimmed, is refused with a log line.
void dwlgui_LoadFiles(QtUiView& view, const std::vector<std::string>& paths);

// Puts back the devices the operator chose for the COM numbers at earlier starts. A COM number
// whose environment variable DWL_COMn is set keeps the variable's device.
void dwlgui_RestorePortChoices();

// The sector map window of dwl-gui.exe: the identified flash as a grid of its sectors in address
// order, each coloured by how its writing went, with a bar under each sector in the colour of
// the image range it lies in, and a line about the sector under the mouse. It follows the run's
// sector map as it changes, comes up beside the main window when a run identifies its flash, and
// keeps the last run's picture until the next run boots.
#pragma once

#include <windows.h>

class Win32UiView;

void win32_InstallSectorMap(Win32UiView& view);
void win32_RemoveSectorMap();
// Shows it again beside the main window after the operator closed it (the Service menu).
void win32_ShowSectorMap();
HWND win32_SectorMapWindow();
// Reads the sector map again when it changed (its timer calls it).
void win32_FollowSectorMap();
// The sector under a point of the window's client area, or -1.
int win32_SectorAt(POINT point);

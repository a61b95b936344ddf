// The line behind the COM ports of dwl-gui, and where it finds its layout files.
#pragma once

// 1: every COM port opens the emulated handset inside the program; 0: the real serial ports.
// Ports open at the switch are closed.
void dwlgui_SelectLine(int emulated);
// Connects the COM ports to the real serial devices; a device that cannot be opened leaves a
// log line naming it and the system's reason.
void dwlgui_InstallCable();
// Whether the emulated handset is connected now.
bool dwlgui_LineEmulated();

// The layout files come from the working directory when they are there; otherwise from
// $DWL_LAYOUT_DIR, else from the data folder (link/dwl12datafiles.h), which also serves
// flash.txt and the handset programs from now on.
void dwlgui_UseLayoutFolder();

// The run-time state of the system back to what a program starts with: the download context,
// the format flag, the progress percent, the sector map, the flash and TFS descriptions, the
// operator log's line count, the window handles, the command and run markers, the stop, the
// last line bytes, the data-folder search. Front ends that drive the panel more than once in
// one process (the command line's sessions, the test benches) call it before they begin.
//
// The images still held are forgotten, not released: whoever loaded them releases them first
// (dwl50_2EndProgram), since a bench may hold images it owns itself. The main panel's handles
// (start-up's), the programs' hooks and the user-interface services' own state (uis_Reset) are
// left alone.
#pragma once

void dwl50_3ResetRunTime();

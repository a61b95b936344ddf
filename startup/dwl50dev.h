// Start-up: the main panel with its menu bar, the flash descriptions, the event loop.
#pragma once

// Initialises the user-interface run-time for the program's arguments; 0 when it cannot start.
// Programs whose toolkit needs it install one before dwl50_0Main (none: nothing to do).
extern int (*v_InitRunTimeHook)(int argc, char** argv);

// The program: returns -1 when the run-time cannot start (nothing is shown), otherwise 0 once
// a quit command has ended the event loop.
int dwl50_0Main(int argc, char** argv);

// Everything of start-up before the event loop: binds the callbacks, loads and shows the main
// panel (v_Panel) and its menu bar (v_MenuBarHandle), reads flash.txt and shows its error
// window. 0, or -1 when the main panel cannot be loaded. For front ends that drive the panel
// themselves (the command line).
int dwl50_1InitPanels();
// What follows the event loop: the images and the TFS description are released, the main
// panel is discarded.
void dwl50_2EndProgram();

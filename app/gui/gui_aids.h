// What the bench operator gets around the main panel, whatever the toolkit draws it: the live
// progress line, the ticking elapsed time, the time of each operator log line and the log saved
// with it, the chip-select ticks, Stop that acts at once, the port in the window title, and the
// checks on image files dropped on the window or named on the command line. The Qt program
// (app/gui/qt) and the Win32 one (platform/windows/gui) wire these to their windows.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// Follows the image step (progress line) and the operator log (time stamps) from now on.
void dwlgui_StartAids();
void dwlgui_StopAids();

// How often the program calls dwlgui_Tick during a run, in milliseconds.
constexpr int kDwlGuiTickMsecs = 250;
// Brings the elapsed time and the progress line up to date while a run is active.
void dwlgui_Tick();

// The operator log changed (a control-change observer calls it for MAIN_LOG): stamps new lines.
void dwlgui_LogChanged();
// The operator log with the local time each line was appended ("2026-12-07 23:59:01  text").
std::vector<std::string> dwlgui_StampedLog();
bool dwlgui_WriteLog(const std::string& path);
// The name the save dialog offers for the log: "dwl-log-20261207-235901.txt".
std::string dwlgui_LogFileName();

// The progress line: image, percent, bytes done, bytes per second and time left.
std::string dwlgui_ProgressText(const std::string& image, uint32_t done, uint32_t size,
                                double seconds);
// The line when the transfer of the image ended: with its mean rate and time when it is in,
// with how far it got when it stopped.
std::string dwlgui_FinalProgressText(const std::string& image, uint32_t done, uint32_t size,
                                     double seconds, bool written);

// Whether a menu item shows a tick: the chip-select menus tick the wait states each chip select
// has now (1 ticked, 0 not); -1 for an item that never has one.
int dwlgui_MenuItemChecked(int menuBar, int menuItem);

// Stop was pressed: the command at work is asked to end at once, even in a wait that runs no
// operator actions (the boot).
void dwlgui_StopPressed();

// The main window's title: the layout's title with the COM number the ring shows and the device
// behind it ("...  -  COM4  \\.\COM4").
std::string dwlgui_WindowTitle(const std::string& layoutTitle);

// The load button for an image file dropped or named, when it can take the file now; 0 (and a
// log line saying why) for a file of another kind or a load button that is dimmed.
int dwlgui_LoadButtonForFile(const std::string& path);

// Image files dropped or named load one at a time through their load buttons: a load locks the
// panel, and a press on a dimmed button is dropped, so the next file waits until the load before
// it has run. Presses the load button of the first file of the queue that the panel takes now
// (the others are refused with a log line), after handing its path to `answer` (the file
// selection of that press answers with it); false when the queue ran out.
bool dwlgui_PressNextLoad(std::deque<std::string>& files,
                          const std::function<void(const std::string& path)>& answer);
// Whether the load pressed last has run to its end (the next may be pressed).
bool dwlgui_LoadDone();

// Whether DWL_COMn names the device of COM number n (it then wins over a kept choice).
bool dwlgui_PortSetByEnvironment(int com);
// The operator chose the device of a COM number in the port picker.
void dwlgui_PortChosen(int com, const std::string& path);

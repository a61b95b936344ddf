// The main panel's callbacks, the start commands, the image loaders and the menus.
//
// A front end (the Qt program, the command line) binds the callbacks with
// dwl51_1InstallCallbacks, loads the main panel (start-up does it, startup/dwl50dev.h) and then
// acts as the operator through the user-interface services: uis_OperateCommit on MAIN_START
// and the other buttons of ui/mmi_ids.h, uis_OperateSetValue on the rings, uis_OperateMenuItem
// on the menu items, then uis_DispatchEvents. What happened shows in the operator log (list
// observer), in uis_Messages (the "DOWNLOAD" notices) and in the result windows
// (uis_FindPanel with the window's layout file and panel number).
#pragma once

#include "uis/uis.h"

#include <cstddef>
#include <cstdint>

// --- Binding --------------------------------------------------------------------------------
// Every callback name the layout files use, with its function.
extern const CallbackBinding a_CallbackTable[];
extern const size_t a_CallbackTableSize;
// Binds a_CallbackTable for every later panel and menu-bar load.
void dwl51_1InstallCallbacks();
// Brings the freshly loaded main panel in line with the download context: rings show the
// context's choices, the COM ring names the device behind each number, the handset ring shows
// v_LineEmulated, the image groups follow the mode.
void dwl51_2InitMainPanel();

// --- Line to the handset ----------------------------------------------------------------------
// Installed by the programs: connects the COM ports to the serial cable (0) or to the emulated
// handset (1). The operator interface knows nothing of either.
extern void (*v_SelectLineHook)(int emulated);
// The line in use (0 serial cable, 1 emulated handset) as the handset ring shows it.
extern int v_LineEmulated;

// --- Commands in progress ---------------------------------------------------------------------
// A command (start, boot-only, format, load, menu command, quit) runs from its callback to its
// end; while one runs, no other may begin, whether the panel is locked or not.
bool dwl51_5CommandRunning();
// Marks a command as begun; false (and nothing marked) when one is already running.
bool dwl51_6BeginCommand();
void dwl51_7EndCommand();

// 1 from the start of a download run (Start, TFS ogm start) to its result window.
extern int mv_RunActive;
bool dwl51_9RunActive();

// --- Stop ---------------------------------------------------------------------------------------
// Asks the command in progress to end: every wait on the serial line ends at once, the run
// reports "Download cancelled by the operator" and closes the port. Safe from a signal handler.
void dwl51_11RequestStop();
// Whether a stop was asked for since the last clear.
bool dwl51_12StopRequested();
// Forgets a stop (each command clears it when it begins and ends).
void dwl51_13ClearStop();

// --- Ports, files, version --------------------------------------------------------------------
// Installed by the GUI: lets the operator choose the device behind a COM number (the port
// picker). Returns true when the mapping changed.
extern bool (*v_ChoosePortHook)(int comPort);
// Names the device each COM number opens on the COM ring's items ("COM4  /dev/ttyUSB3").
void dwl51_14LabelComPorts();
// The load button for an image file by its extension (.bin, .ogm, .tfs, any case); 0 for any
// other file.
int dwl51_10LoadButtonFor(const char* path);
// Version of the program the About box shows; nullptr: none known.
extern const char* v_ProgramVersion;

// --- Images -----------------------------------------------------------------------------------
// Loaders: read the file named by the context's path into its image slot.
void dwl51_0InitLoadFile();
void dwl51_0InitLoadFile_TFS_ogm();
void dwl51_0InitLoadFile_ogm();
// Releases the three image buffers.
void dwl51_3FreeImages();
// Forgets the paths of the images held, without releasing anything (the run-time reset; the
// context's slots are forgotten with it).
void dwl51_16ForgetHeldPaths();
// Sum of the bytes as an unsigned 32-bit number.
uint32_t dwl51_8ByteSum(const uint8_t* data, uint32_t size);

// --- Control callbacks (commit, or value-changed for rings) ----------------------------------
int dwl51_58MMISelectModel(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int dwl51_56MMISelectPort(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int dwl51_62MMISelectSpeed(int panel, int control, int event, void* callbackData, int eventData1,
                           int eventData2);
int dwl_SelectMode(int panel, int control, int event, void* callbackData, int eventData1,
                   int eventData2);
int dwl51_60MMIDownloadConfiguration(int panel, int control, int event, void* callbackData,
                                     int eventData1, int eventData2);
int dwl51_57MMISelectSimLock(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
int dwl51_67MMISelectLine(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int dwl51_52MMILoadFile(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int dwl51_52MMILoadFile_ogm(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);
int dwl51_52MMILoadFile_TFS_ogm(int panel, int control, int event, void* callbackData,
                                int eventData1, int eventData2);
int dwl51_50MMIStart(int panel, int control, int event, void* callbackData, int eventData1,
                     int eventData2);
int dwl51_50MMI_TFS_ogm_Start(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int dwl51_50MMI_TFS_Boot_Start(int panel, int control, int event, void* callbackData,
                               int eventData1, int eventData2);
int dwl51_65MMIFormat(int panel, int control, int event, void* callbackData, int eventData1,
                      int eventData2);
int dwl51_51MMIQuit(int panel, int control, int event, void* callbackData, int eventData1,
                    int eventData2);
int dwl_Quit(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int dwl51_68MMIStop(int panel, int control, int event, void* callbackData, int eventData1,
                    int eventData2);
int dwl51_69MMIChoosePort(int panel, int control, int event, void* callbackData, int eventData1,
                          int eventData2);
int About_display(int panel, int control, int event, void* callbackData, int eventData1,
                  int eventData2);
int dwl51_80MMIDownloadSuccessOk(int panel, int control, int event, void* callbackData,
                                 int eventData1, int eventData2);
int dwl51_81MMIButtonTimeOut(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
int dwl51_83MMIFormatOk(int panel, int control, int event, void* callbackData, int eventData1,
                        int eventData2);
int dwl51_84MMIBootLoaderOk(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);

// --- Menu callbacks ---------------------------------------------------------------------------
// Restores config.txt onto the panel: the binary image it names is loaded, the COM port selector
// set and the binary load button offered, each once config.txt was read that far. The restore's
// code.
int dwl51_104RestoreConfig();
// The same from a settings file of any name.
int dwl51_105RestoreConfigFrom(const char* file);
// The restore menu item's command on a settings file: the restore, and the configuration error
// window for a code other than 1. The restore's code, or 0 when another command runs.
int dwl51_106RestoreSettings(const char* file);
void dwl51_100MMIMenuRestore(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_101MMIMenuSave(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_102MMIMenuQuit(int menuBar, int menuItem, void* callbackData, int panel);
// Saves the operator log through v_SaveLogHook (nothing when no program installed one).
void dwl51_103MMIMenuSaveLog(int menuBar, int menuItem, void* callbackData, int panel);
extern void (*v_SaveLogHook)();
// Logs the settings that change a run but show nowhere on the panel: product type, PMU,
// download type, wait states.
void dwl51_150MMIMenuService(int menuBar, int menuItem, void* callbackData, int panel);
// Line trace: the first choice asks for a file and traces the following runs into it (appended);
// the next choice ends the trace.
void dwl51_151MMIMenuLineTrace(int menuBar, int menuItem, void* callbackData, int panel);
// Production station: opens the station window through v_StationHook (nothing when no program
// installed one).
void dwl51_152MMIMenuStation(int menuBar, int menuItem, void* callbackData, int panel);
extern void (*v_StationHook)();
// Sector map: shows the sector map window again through v_SectorMapHook, after the operator
// closed it (nothing when no program installed one).
void dwl51_153MMIMenuSectorMap(int menuBar, int menuItem, void* callbackData, int panel);
extern void (*v_SectorMapHook)();
// Open report: the report of the station's results in the browser, through v_ReportHook (nothing
// when no program installed one).
void dwl51_154MMIMenuReport(int menuBar, int menuItem, void* callbackData, int panel);
extern void (*v_ReportHook)();
// Wait states: the item dwl51_1<n+1><m>MMIMenuCS<n>_<m>WaitState sets chip select n to m.
void dwl51_110MMIMenuCS0_0WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_111MMIMenuCS0_1WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_112MMIMenuCS0_2WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_113MMIMenuCS0_3WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_114MMIMenuCS0_4WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_120MMIMenuCS1_0WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_121MMIMenuCS1_1WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_122MMIMenuCS1_2WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_123MMIMenuCS1_3WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_124MMIMenuCS1_4WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_130MMIMenuCS2_0WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_131MMIMenuCS2_1WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_132MMIMenuCS2_2WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_133MMIMenuCS2_3WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_134MMIMenuCS2_4WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_140MMIMenuCS3_0WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_141MMIMenuCS3_1WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_142MMIMenuCS3_2WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_143MMIMenuCS3_3WaitState(int menuBar, int menuItem, void* callbackData, int panel);
void dwl51_144MMIMenuCS3_4WaitState(int menuBar, int menuItem, void* callbackData, int panel);

// The operator interface's run-time state back to a program's start: the serial cable, no
// command or run in progress, no image path held, no result window.
void dwl51_ResetRunTime();

// The station window's behaviour without a toolkit: what Start, Stop (once: the runs in
// progress finish; twice: they are cancelled), Unlock settings and a close do to a production
// run, and every text the window shows for it. A view (Qt, Win32) owns a StationRun, feeds it the
// station's lines and the operator's actions, and carries out what the calls return: the
// interrupts for the station's process, the settings box's lock.
#pragma once

#include "app/gui/station_lines.h"

#include <cstddef>
#include <string>
#include <vector>

enum StationPhase { STATION_IDLE, STATION_RUNNING, STATION_STOPPING, STATION_CANCELLING };

struct StationRun {
    StationModel model;
    StationPhase phase = STATION_IDLE;
    bool ran = false;             // production was started once at least
    bool unlockAfterStop = false; // the settings unlock when the station has stopped
    bool closeAsked = false;      // the operator asked to close while production ran
    std::string endText;          // how the station's process ended
    std::string lastError;        // its last line of error output that named no port
};

// Interrupts of the station a view sends: now, and one more a moment later (kStationSecondMsecs)
// when the phase is still STATION_CANCELLING then, so that the station sees two.
struct StationInterrupts {
    int now = 0;
    bool later = false;
};
constexpr int kStationSecondMsecs = 500;
// How often at most a view is brought up to date: lines are read as they come, drawn together.
constexpr int kStationRefreshMsecs = 200;

// The window before any production: a tile per port, "Not started".
void stationrun_Init(StationRun& run, const std::vector<std::string>& ports);
// Start pressed with these settings (the view has checked that ports are named). The view
// locks the settings and starts the station's process; one that cannot start reports its end.
void stationrun_Start(StationRun& run, const StationSettings& settings);
// Stop pressed (its second press while stopping cancels the runs in progress).
StationInterrupts stationrun_Stop(StationRun& run);
// The runs in progress are to be cancelled (the close question's answer).
StationInterrupts stationrun_CancelRuns(StationRun& run);

// Unlock settings: whether it is offered, the question it asks, and its answer "yes". True when
// the settings unlock at once; otherwise they unlock when the station has stopped, and
// *interrupts says how it is stopped.
bool stationrun_MayUnlock(const StationRun& run, bool locked);
std::string stationrun_UnlockQuestion(const StationRun& run);
bool stationrun_UnlockAnswered(StationRun& run, StationInterrupts* interrupts);

// One line of the station's standard output or error output. ReadLine returns true when the
// line told the station's start: the settings box then shows stationrun_SettingsOfStation.
bool stationrun_ReadLine(StationRun& run, const std::string& line);
void stationrun_ReadErrorLine(StationRun& run, const std::string& line);
// The station's process has ended (how, in words). True when the settings unlock: they were
// asked to, or the station never started with them (they stay open to be mended).
bool stationrun_Ended(StationRun& run, const std::string& how);
// The settings as the station says it runs with them: its images, mode and speed in shown.
StationSettings stationrun_SettingsOfStation(const StationModel& model, StationSettings shown);

// A close of the window: at once, not now (the station is ending or a question is open), or
// after the question (kStationClose*).
enum StationCloseStep { STATION_CLOSE_NOW, STATION_CLOSE_WAIT, STATION_CLOSE_ASK };
StationCloseStep stationrun_CloseAsked(StationRun& run, bool questionOpen);
// The question: its text, the text under it, and its buttons (finish only while running).
std::string stationrun_CloseQuestion(const StationRun& run);
extern const char* const kStationCloseInformation;
extern const char* const kStationFinishButton;
extern const char* const kStationCancelButton;
extern const char* const kStationKeepButton;
enum StationCloseAnswer { STATION_ANSWER_FINISH, STATION_ANSWER_CANCEL, STATION_ANSWER_KEEP };
// The answer; true when the window closes now (the station ended while the question was open).
bool stationrun_CloseAnswered(StationRun& run, StationCloseAnswer answer,
                              StationInterrupts* interrupts);

// What the buttons are.
struct StationButtons {
    bool start = false;
    bool stop = false;
    bool unlock = false;
    const char* stopText = "Stop";
};
StationButtons stationrun_Buttons(const StationRun& run, bool locked);

// The texts of the window.
std::string stationrun_StatusText(const StationRun& run);
std::string stationrun_PortsText(size_t count);
std::string stationrun_FiguresText(const StationTotalsLook& totals); // "PASS 1   FAIL 0   ..."
std::string stationrun_TimesText(const StationTotalsLook& totals);   // "median ...   ... per hour"
std::string stationrun_ResultsText(const std::string& file, const std::string& server);
std::string stationrun_CountsText(const StationTileLook& look); // "pass 3   fail 1"
// Beside an image of the settings: "name: size bytes, sum 0x...", or the problem.
std::string stationrun_ImageText(const StationImage& image);
// A log window's title and text: a port's (its last run's result after it), or kStationWide.
std::string stationrun_LogTitle(const StationModel& model, int whose);
std::string stationrun_LogText(const StationModel& model, int whose);
// How many lines the log has had (a view redraws it when this changes).
unsigned long stationrun_LogCount(const StationModel& model, int whose);

// The names of the modes 0 to 6, for the mode selector.
std::vector<std::string> stationrun_ModeNames();
// A results server's address that an older dwl-gui made into a path below its working folder
// and remembered so ("/work/postgresql:/USER@HOST/DB", "/work/host=H dbname=D"): the address
// again. Any other value is returned as it is.
std::string stationrun_MendedResults(const std::string& saved);

// The tiles' least size, and the columns that give count tiles the most room in width x height.
constexpr int kStationTileMinWidth = 200;
constexpr int kStationTileMinHeight = 150;
int stationrun_ColumnsFor(int count, int width, int height);

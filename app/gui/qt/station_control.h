// The station window at work: it runs `dwl station --json-lines` for the settings shown, reads
// the station's lines into the model as they come and brings the window up to date a few times
// a second at most. Stop interrupts the station once (the runs in progress finish, then the
// ports stop) and a second time (the runs in progress are cancelled).
#pragma once

#include "app/gui/station_run.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class StationChild;
class StationWindow;

class StationControl {
  public:
    using Phase = StationPhase;
    static constexpr Phase IDLE = STATION_IDLE;
    static constexpr Phase RUNNING = STATION_RUNNING;
    static constexpr Phase STOPPING = STATION_STOPPING;
    static constexpr Phase CANCELLING = STATION_CANCELLING;

    // program runs the station (dwlgui_StationProgram()); locked: the settings start locked.
    StationControl(const std::string& program, const StationSettings& settings, bool locked);
    ~StationControl();
    StationControl(const StationControl&) = delete;
    StationControl& operator=(const StationControl&) = delete;

    StationWindow& window() { return *window_; }
    const StationModel& model() const { return run_.model; }
    Phase phase() const { return run_.phase; }
    bool active() const { return run_.phase != STATION_IDLE; }

    // The operator's buttons.
    void start();
    void stop();
    void unlock();
    // Shows a port's log (kStationWide: the station's).
    void showLog(int port);
    // The results the report reads: the file the station said it records to, else the one its
    // settings name; empty when none is set.
    std::string reportSource() const;
    void openReport();

    // Called with the settings each time production starts (to keep them for the next time).
    void setSettingsKeeper(std::function<void(const StationSettings&)> keeper);
    // Called after every refresh of the window.
    void setRefreshObserver(std::function<void()> observer);
    // Called when the window has closed.
    void setClosedObserver(std::function<void()> observer);

  private:
    void readLine(const std::string& line);
    void readErrorLine(const std::string& line);
    // A unit's label scanned into the tile of a port.
    void scanned(int port, const QString& unit);
    void ended(const QString& how);
    void scheduleRefresh();
    void refresh();
    void refreshLog();
    void showSettingsOfStation();
    void imagesEdited();
    bool mayClose();
    void send(StationInterrupts interrupts);

    std::string program_;
    StationRun run_;
    std::unique_ptr<StationWindow> window_;
    std::unique_ptr<StationChild> child_;
    QTimer refreshTimer_;
    QTimer secondInterrupt_;
    bool asking_ = false; // the question of a close is open
    unsigned long logShown_ = 0;
    std::function<void(const StationSettings&)> keeper_;
    std::function<void()> refreshObserver_;
    std::function<void()> closedObserver_;
};

// What runs the station: $DWL_STATION_PROGRAM, else dwl beside this program, else dwl on the
// PATH.
std::string dwlgui_StationProgram();
// The settings of the last production started from this user's station window.
StationSettings dwlgui_RestoreStationSettings();
void dwlgui_KeepStationSettings(const StationSettings& settings);

// Places the station window on the screen beside the main window, the main window moving to
// the screen's left edge when that makes room; where the screen has no room for both, over the
// main window but whole on the screen.
void dwlgui_PlaceStationWindow(QWidget& window, QWidget& main, const QRect& screen);
// The station window of the program (made on first use) in front; from the main window's menu.
void dwlgui_ShowStation();
// At the end of the program: a station still running keeps its window until the operator
// closes it (which asks); then the window goes.
void dwlgui_FinishStation();
// The results of the program's station window, else of the settings kept from its last start;
// empty when none is set.
std::string dwlgui_StationReportSource();
// Service -> Open report: the report of those results in the browser.
void dwlgui_OpenStationReport();

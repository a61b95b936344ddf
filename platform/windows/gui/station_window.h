// The production station window of dwl-gui.exe in plain Win32: the settings (locked behind
// "Unlock settings" once production ran with them), the totals and the station's status beside
// them, the buttons, and below them a tile per port in as many columns as give the tiles the
// most room. It runs `dwl.exe station --json-lines` as its child and draws its lines through the
// station model (app/gui/station_run.h), as the Qt window does.
#pragma once

#include "app/gui/station_run.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dwlwin {

class StationChild;

class StationWindow {
  public:
    // program runs the station (dwl_StationProgram()); locked: the settings start locked.
    StationWindow(HWND owner, const std::string& program, const StationSettings& settings,
                  bool locked);
    ~StationWindow();
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    HWND hwnd() const { return window_; }
    const StationRun& run() const { return run_; }
    bool locked() const { return locked_; }

    // The operator's buttons.
    void start();
    void stop();
    void unlock();
    void showLog(int port); // kStationWide: the station's
    // The window's close, from its frame or its Close button: asks while production runs.
    // True when it has closed.
    bool close();

    // The settings as the fields hold them.
    StationSettings settings() const;
    void setSettings(const StationSettings& settings);

    // Called after every refresh, and once the window has closed.
    void setRefreshObserver(std::function<void()> observer) { refreshed_ = std::move(observer); }
    void setClosedObserver(std::function<void()> observer) { closed_ = std::move(observer); }
    // Called with the settings each time production starts (to keep them for the next time).
    void setSettingsKeeper(std::function<void(const StationSettings&)> keeper) {
        keeper_ = std::move(keeper);
    }

    // What the window shows, for the tests.
    enum Control {
        START,
        STOP,
        UNLOCK,
        STATION_LOG,
        CLOSE,
        PORTS,
        BIN,
        OGM,
        TFS,
        MODE,
        SPEED,
        RESULTS,
        BIN_TEXT,
        OGM_TEXT,
        TFS_TEXT,
        FIGURES,
        TIMES,
        STATUS,
        RESULTS_TEXT,
        TILES,
        CONTROL_COUNT
    };
    HWND control(Control which) const { return controls_[which]; }
    std::string text(Control which) const;
    HWND logWindow() const { return log_; }
    std::string logText() const;
    // The tile of a port: its place in the tiles' control.
    RECT tileRect(int port) const;

    // The window procedures' way back to the object.
    LRESULT handle(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT handleTiles(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT handleLog(HWND hwnd, UINT message, WPARAM w, LPARAM l);

  private:
    void create(HWND owner);
    void layout();
    void layoutTiles();
    void paintTiles(HDC dc, const RECT& area);
    void scheduleRefresh();
    void refresh();
    void refreshLog(bool force);
    void send(StationInterrupts interrupts);
    void ended(const std::string& how);
    void setLocked(bool locked);
    void showImages(const std::vector<StationImage>& images);
    void imagesEdited();
    void browse(Control field);
    void closeNow();

    HWND window_ = nullptr;
    HWND controls_[CONTROL_COUNT] = {};
    RECT settingsFrame_{}, totalsFrame_{};
    HWND browse_[3] = {};
    std::vector<HWND> labels_; // Ports, Binary, ogm, TFS, Mode, Speed, Results
    HWND log_ = nullptr;
    HWND logText_ = nullptr;
    HWND logClose_ = nullptr;
    HFONT font_ = nullptr, bigFont_ = nullptr, mediumFont_ = nullptr, fixedFont_ = nullptr;
    std::string program_;
    StationSettings base_; // what the fields do not show passes through
    StationRun run_;
    std::unique_ptr<StationChild> child_;
    unsigned runNumber_ = 0;
    bool locked_ = false;
    bool asking_ = false;
    bool refreshPending_ = false;
    int logWhose_ = kStationWide;
    unsigned long logShown_ = ~0ul;
    std::vector<bool> imageProblem_ = std::vector<bool>(3, false);
    // The tiles: columns, rows and cell size, the first row shown.
    int columns_ = 1, rows_ = 0, cellWidth_ = 0, cellHeight_ = 0, scrollRow_ = 0;
    int visibleRows_ = 0;
    std::vector<StationTileLook> drawn_;
    std::function<void()> refreshed_;
    std::function<void()> closed_;
    std::function<void(const StationSettings&)> keeper_;
};

// A question of the window with buttons of its own texts, modal to owner; returns the index of
// the button pressed, or cancelIndex when it is closed otherwise (Esc, its frame).
int askQuestion(HWND owner, const std::string& title, const std::string& text,
                const std::string& detail, const std::vector<std::string>& buttons,
                int defaultIndex, int cancelIndex);
// Called with each question's window once it shows (the tests answer by it); nullptr: none.
void setQuestionObserver(std::function<void(HWND question)> observer);

// What runs the station: %DWL_STATION_PROGRAM%, else dwl.exe beside this program, else dwl.exe
// on the PATH.
std::string stationProgram();

// The settings of the last production started from this user's station window (the registry).
StationSettings restoreStationSettings();
void keepStationSettings(const StationSettings& settings);

// The station window of the program, made by showStationWindow or dwl_OpenStationWindow
// (win32_station.h).
std::unique_ptr<StationWindow>& programStation();

// From dwl-gui.exe's main window (Service -> "Production station..."): the station window of the
// program in front, made on first use with the settings of its last start, beside main where
// the screen has room. Its handle (nullptr before) goes to the program's message loop's
// IsDialogMessageW for Tab and Enter.
void showStationWindow(HWND main);
HWND stationWindowHandle();
// At the end of the program: a station still running keeps its window until the operator
// closes it (which asks); then the window goes.
void finishStationWindow();

// `dwl-gui.exe --station [options]` (the options after --station): the station window alone,
// until it is closed. Returns the program's exit status (2: a bad option, said in a message).
int runStationProgram(const std::vector<std::string>& options);

} // namespace dwlwin

// The command line as the operator of the main panel: the panel runs headless, the command
// line turns its rings, answers its file pop-ups, uses its menu and presses its buttons, and
// reports what the panel shows (operator log, progress, result window).
#pragma once

#include "app/run/progress_meter.h"
#include "app/run/run_log.h"
#include "app/run/run_report.h"
#include "app/run/run_settings.h"
#include "session/dwl_image_step.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sim {
class SimSession;
}

namespace dwlcli {

class HeadlessView;

class OperatorSession {
  public:
    // log: the run's log file, or nullptr; it must outlive the session. out: where the log
    // lines and the progress go; nullptr: standard output, or standard error with --json.
    OperatorSession(RunSettings settings, RunLog* log, FILE* out = nullptr);
    ~OperatorSession();
    OperatorSession(const OperatorSession&) = delete;
    OperatorSession& operator=(const OperatorSession&) = delete;

    // Start-up and every choice of the settings on the panel. 0, or an exit status.
    int prepare(bool withImages);
    // The three commands; each returns the exit status and fills the report.
    int flash();
    int bootOnly();
    int format();

    const RunReport& report() const { return report_; }
    // The report as the panel stands now: port, mode, speed and the images loaded.
    const RunReport& describe() {
        fillReport();
        return report_;
    }

    // For a station that presses Start handset after handset: every image step event of the
    // runs also goes to `observer` (nullptr: none).
    void observeImageSteps(std::function<void(const ImageStepEvent&)> observer);
    // Closes the windows the last command left (its OK buttons), which releases the panel for
    // the next command, and empties the operator log.
    void clearForNextRun();

    // Called by the headless view.
    void logLine(const char* label);
    void imageStep(const ImageStepEvent& event);
    void panelShown(int panel);
    void popup(const char* title, const char* text);
    int answerFileRequest(std::string& path);

  private:
    struct Popup {
        std::string title;
        std::string text;
    };

    // The handset ring's line: the emulated handset of this session or the serial ports.
    void connectLine();
    void printLog(const std::string& text);
    int loadImage(int button, const std::string& path, const char* what);
    int restoreConfig();
    int choose(int control, int value, const char* what);
    // Presses a command button and lets its command run; 0, or an exit status when the panel
    // refused the press.
    int press(int button, const char* what);
    int failWith(int status, const std::string& message);
    // The clock of the run's durations and rates.
    static double runClock();
    // A flash.txt that describes no flash, an image larger than every flash it describes: the
    // run would fail at its first sector, after the boot. 0, or the exit status.
    int refuseWhatNoFlashTakes();
    // Every window shown so far counts as seen: the next result window is a new one.
    void markWindowsSeen();
    // The newest result window shown since the mark; fills report_.result.
    bool takeResultWindow();
    // The exit status a result window stands for, the window's message in the report.
    int failWithResult();
    int finishRun();
    void fillReport();
    void printLine(FILE* stream, const std::string& text);

    RunSettings settings_;
    RunLog* log_;
    FILE* out_;
    ProgressMeter meter_;
    std::unique_ptr<HeadlessView> view_;
    std::unique_ptr<sim::SimSession> simSession_;
    std::function<void(const ImageStepEvent&)> stepObserver_;
    std::set<int> seenWindows_;
    std::vector<std::string> fileAnswers_;
    std::vector<Popup> popups_;
    RunReport report_;
    double started_ = 0.0;
    bool panelUp_ = false;
};

} // namespace dwlcli

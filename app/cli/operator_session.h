// The command line as the operator of the main panel: the panel runs headless, the command
// line turns its rings, answers its file pop-ups, uses its menu and presses its buttons, and
// reports what the panel shows (operator log, progress, result window).
#pragma once

#include "app/cli/progress_meter.h"
#include "app/cli/result_reading.h"
#include "app/cli/run_settings.h"
#include "session/dwl_image_step.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace dwlcli {

struct ImageReport {
    std::string kind; // "binary", "ogm", "tfs"
    std::string path;
    long size = 0;        // file size as the panel shows it
    uint32_t byteSum = 0; // byte sum as the panel shows it
};

// One sector of the binary or ogm image's range, as the sector map left it.
struct SectorReport {
    std::string image; // "binary", "ogm"
    uint32_t address = 0;
    uint32_t size = 0;
    uint32_t bytesSent = 0; // image bytes its last sector command carried
    int tries = 0;          // sector commands sent for it
    std::string result;     // "written", "resent", "failed", "writing", "untouched"
};

struct RunReport {
    int exitStatus = 0;
    ReadResult result;
    std::string port;   // "COM4"
    std::string device; // what the port opens
    int mode = -1;
    long baud = 0;
    bool flashIdentified = false;
    int manufacturerId = 0;
    int deviceId = 0;
    std::string manufacturerName;
    std::string deviceName;
    std::vector<ImageReport> images;
    std::vector<SectorReport> sectors;
    double elapsedSeconds = 0.0;
    uint64_t bytesWritten = 0;
};

class OperatorSession {
  public:
    explicit OperatorSession(RunSettings settings);
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

    // Called by the headless view.
    void logLine(const char* label);
    void imageStep(const ImageStepEvent& event);
    void panelShown(int panel);
    void popup(const char* title, const char* text);
    int answerFileRequest(std::string& path);

  private:
    struct Line;
    int loadImage(int button, const std::string& path, const char* what);
    int restoreConfig();
    int choose(int control, int value, const char* what);
    int failWith(int status, const std::string& message);
    // The newest result window shown since the mark; fills report_.result.
    bool takeResultWindow();
    int finishRun(double started);
    void fillReport();
    void printLine(FILE* stream, const std::string& text);

    RunSettings settings_;
    FILE* out_;
    ProgressMeter meter_;
    FILE* log_ = nullptr;
    std::unique_ptr<Line> line_;
    std::set<int> seenWindows_;
    std::vector<std::string> fileAnswers_;
    std::vector<std::string> popups_;
    RunReport report_;
    bool started_ = false;
};

// Writes the report as one JSON object.
void writeJsonReport(FILE* out, const RunReport& report);
// The line a run ends with: "result: <message>" and, when it failed, the family and code.
std::string resultLine(const RunReport& report);

} // namespace dwlcli

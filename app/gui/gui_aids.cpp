#include "app/gui/gui_aids.h"

#include "app/gui/gui_line.h"
#include "link/com_map.h"
#include "procedure/dwl3_run.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "session/dwl_image_step.h"
#include "session/dwl_progress.h"
#include "session/local_time.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The image of the progress line, as the image step's events tell it.
struct ImageInProgress {
    std::string name;
    uint32_t size = 0;
    uint32_t done = 0;
    double start = 0.0;
    bool finished = false; // its transfer ended
    bool written = false;  // ... with the whole image in
    double end = 0.0;      // when it ended
};

// The progress line follows the bytes at most this often (the ticker brings it up to date too).
constexpr double kProgressLineSeconds = 0.1;

struct Aids {
    bool on = false;
    double shownAt = -1.0;           // when the progress line was last written
    std::vector<std::string> stamps; // time of each log line, by index
    ImageInProgress image;
};

Aids& aids() {
    static Aids a;
    return a;
}

std::string localTimeText(const char* format) {
    std::tm tm{};
    char text[32] = "";
    if (dwl_LocalTime(std::time(nullptr), &tm)) std::strftime(text, sizeof text, format, &tm);
    return text;
}

void showProgress() {
    const ImageInProgress& i = aids().image;
    if (i.name.empty()) return;
    const std::string text =
        i.finished ? dwlgui_FinalProgressText(i.name, i.done, i.size, i.end - i.start, i.written)
                   : dwlgui_ProgressText(i.name, i.done, i.size, dwl_Now() - i.start);
    SetCtrlVal(v_Panel, MAIN_PROGRESS_STATUS, text.c_str());
    aids().shownAt = dwl_Now();
}

// The image step tells which image is being written and how far it got.
void imageStep(const ImageStepEvent& event, void*) {
    if (!aids().on) return;
    static const char* const names[DWL_NB_IMAGES] = {"binary image", "ogm image", "TFS ogm image"};
    ImageInProgress& i = aids().image;
    switch (event.Phase) {
    case IMAGE_STEP_BEGIN:
        if (event.Image >= DWL_NB_IMAGES) return;
        i = {names[event.Image], event.Total, 0, dwl_Now(), false, false, 0.0};
        // The bar moves at the end of each sector of the image: the next image (the ogm after
        // the binary in mode 0) starts it from 0, not from the last image's 100 %.
        SetCtrlVal(v_Panel, MAIN_PROGRESS, 0);
        SetCtrlVal(v_Panel, MAIN_PROGRESS_PERCENT, 0);
        break;
    case IMAGE_STEP_BYTES:
        i.done = event.Done;
        // Every block of a sector brings an event: the window need not be told of each.
        if (aids().shownAt >= 0 && dwl_Now() - aids().shownAt < kProgressLineSeconds) return;
        break;
    case IMAGE_STEP_END:
        i.done = event.Done;
        i.finished = true;
        i.written = event.Written != 0;
        i.end = dwl_Now();
        break;
    default: i = {}; return; // a command begins: the progress of the last run is over
    }
    showProgress();
}

} // namespace

void dwlgui_StartAids() {
    aids() = {};
    aids().on = true;
    v_ImageStepListener = {&imageStep, nullptr};
    dwlgui_LogChanged();
}

void dwlgui_StopAids() {
    if (!aids().on) return;
    v_ImageStepListener = {nullptr, nullptr};
    aids() = {};
}

void dwlgui_Tick() {
    if (!aids().on || !dwl51_9RunActive()) return;
    dwl3_4ShowElapsedTime(sg_DownloadContext.StartTime, dwl_Time());
    showProgress();
}

void dwlgui_LogChanged() {
    Aids& a = aids();
    const UiControl* log = uis_Control(v_Panel, MAIN_LOG);
    if (!a.on || log == nullptr) return;
    if (a.stamps.size() > log->items.size()) a.stamps.resize(log->items.size());
    const std::string now = localTimeText("%Y-%m-%d %H:%M:%S");
    while (a.stamps.size() < log->items.size())
        a.stamps.push_back(now);
}

std::vector<std::string> dwlgui_StampedLog() {
    std::vector<std::string> out;
    const UiControl* log = uis_Control(v_Panel, MAIN_LOG);
    if (log == nullptr) return out;
    const std::vector<std::string>& stamps = aids().stamps;
    for (size_t i = 0; i < log->items.size(); i++) {
        const std::string stamp = i < stamps.size() ? stamps[i] : "";
        std::string text = log->items[i].label;
        // A log line is the text with one blank before and one after.
        if (!text.empty() && text.front() == ' ') text.erase(0, 1);
        if (!text.empty() && text.back() == ' ') text.pop_back();
        out.push_back(stamp + "  " + text);
    }
    return out;
}

bool dwlgui_WriteLog(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    for (const std::string& line : dwlgui_StampedLog())
        std::fprintf(file, "%s\n", line.c_str());
    return std::fclose(file) == 0;
}

std::string dwlgui_LogFileName() {
    return "dwl-log-" + localTimeText("%Y%m%d-%H%M%S") + ".txt";
}

std::string dwlgui_ProgressText(const std::string& image, uint32_t done, uint32_t size,
                                double seconds) {
    const ImageProgress p = dwl_ImageProgress(done, size, seconds);
    char text[160];
    std::snprintf(text, sizeof text, "%s: %d %%, %u of %u bytes, %.0f bytes/s, %s left",
                  image.c_str(), p.percent, p.done, size, p.rate,
                  dwl_TimeText(p.secondsLeft).c_str());
    return text;
}

std::string dwlgui_FinalProgressText(const std::string& image, uint32_t done, uint32_t size,
                                     double seconds, bool written) {
    const ImageProgress p = dwl_ImageProgress(done, size, seconds, written);
    char text[160];
    if (written)
        std::snprintf(text, sizeof text, "%s: %d %%, %u bytes in %s, %.0f bytes/s", image.c_str(),
                      p.percent, size, dwl_TimeText(seconds).c_str(), p.rate);
    else
        std::snprintf(text, sizeof text, "%s: %d %%, %u of %u bytes, %.0f bytes/s, stopped",
                      image.c_str(), p.percent, p.done, size, p.rate);
    return text;
}

int dwlgui_MenuItemChecked(int menuBar, int item) {
    const UiMenuBar* bar = uis_MenuBar(menuBar);
    if (bar == nullptr || bar->panel != v_Panel) return -1;
    for (int cs = 0; cs < 4; cs++)
        for (int count = 0; count <= 4; count++)
            if (item == MENU_WAIT_STATE(cs, count))
                return sg_DownloadContext.WaitState[cs] == count ? 1 : 0;
    return -1;
}

void dwlgui_StopPressed() {
    if (dwl51_5CommandRunning()) dwl51_11RequestStop();
}

std::string dwlgui_WindowTitle(const std::string& layoutTitle) {
    // The ring, not the download context: its change is seen before its callback takes it in.
    int com = sg_DownloadContext.ComPort;
    GetCtrlVal(v_Panel, MAIN_COM_PORT, &com);
    const std::string device = dwlgui_LineEmulated() ? "emulated handset" : dwl_ComDevicePath(com);
    return layoutTitle + "  -  COM" + std::to_string(com) + "  " + device;
}

int dwlgui_LoadButtonForFile(const std::string& path) {
    const int button = dwl51_10LoadButtonFor(path.c_str());
    if (button == 0) {
        dwl50_2AddCommentF("Not an image file (.bin, .ogm, .tfs): %s", path.c_str());
        return 0;
    }
    const UiControl* control = uis_Control(v_Panel, button);
    if (control == nullptr || control->dimmed || dwl51_5CommandRunning()) {
        // The load button is dimmed: by a command at work, else by the mode.
        const char* kind = button == MAIN_BIN_LOAD   ? "binary"
                           : button == MAIN_OGM_LOAD ? "ogm"
                                                     : "TFS";
        if (dwl51_5CommandRunning() || dwl51_9RunActive())
            dwl50_2AddCommentF("Cannot load now: %s: a command is running", path.c_str());
        else
            dwl50_2AddCommentF("Cannot load now: %s: mode %d takes no %s image", path.c_str(),
                               static_cast<int>(sg_DownloadContext.Mode), kind);
        return 0;
    }
    return button;
}

bool dwlgui_PressNextLoad(std::deque<std::string>& files,
                          const std::function<void(const std::string& path)>& answer) {
    while (!files.empty()) {
        const std::string path = files.front();
        files.pop_front();
        const int button = dwlgui_LoadButtonForFile(path);
        if (button == 0) continue;
        answer(path);
        if (uis_OperateCommit(v_Panel, button) == 0) return true;
    }
    return false;
}

bool dwlgui_LoadDone() {
    return uis_PendingEvents() == 0 && !dwl51_5CommandRunning();
}

bool dwlgui_PortSetByEnvironment(int com) {
    const std::string var = "DWL_COM" + std::to_string(com);
    const char* env = std::getenv(var.c_str());
    return env != nullptr && env[0] != '\0';
}

void dwlgui_PortChosen(int com, const std::string& path) {
    dwl_SetComDevice(com, path);
    dwl50_2AddCommentF("COM%d opens %s", com, path.c_str());
}

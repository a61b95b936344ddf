#include "app/gui/qt/gui_operator.h"

#include "app/gui/gui_line.h"
#include "app/gui/qt/report_opener.h"
#include "app/gui/qt/station_control.h"
#include "link/com_map.h"
#include "platform/qt/ui_port_picker.h"
#include "platform/qt/ui_view.h"
#include "procedure/dwl3_run.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "session/dwl_image_step.h"
#include "session/dwl_progress.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QDateTime>
#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// How often the elapsed time and the progress line are brought up to date during a run.
constexpr int kTickMsecs = 250;
// How often a file load waits to see the load before it finished.
constexpr int kLoadPollMsecs = 20;

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

struct Aids {
    QtUiView* view = nullptr;
    // The line hook the program installed; the aids' own hook calls it, then shows the title.
    void (*selectLine)(int emulated) = nullptr;
    QTimer ticker;
    std::vector<std::string> stamps; // time of each log line, by index
    ImageInProgress image;
    std::string baseTitle;
};

std::unique_ptr<Aids>& aids() {
    static std::unique_ptr<Aids> a;
    return a;
}

QString settingsKey(int com) {
    return QStringLiteral("ports/COM%1").arg(com);
}

bool environmentNames(int com) {
    const std::string var = "DWL_COM" + std::to_string(com);
    const char* env = std::getenv(var.c_str());
    return env != nullptr && env[0] != '\0';
}

void showTitle() {
    Aids& a = *aids();
    PanelWindow* main = a.view->mainWindow();
    if (main == nullptr) return;
    if (a.baseTitle.empty()) a.baseTitle = main->windowTitle().toStdString();
    // The ring, not the download context: its change is seen before its callback takes it in.
    int com = sg_DownloadContext.ComPort;
    GetCtrlVal(v_Panel, MAIN_COM_PORT, &com);
    const std::string device = dwlgui_LineEmulated() ? "emulated handset" : dwl_ComDevicePath(com);
    main->setWindowTitle(
        QString::fromStdString(a.baseTitle + "  -  COM" + std::to_string(com) + "  " + device));
}

void showProgress() {
    Aids& a = *aids();
    const ImageInProgress& i = a.image;
    if (i.name.empty()) return;
    const std::string text =
        i.finished ? dwlgui_FinalProgressText(i.name, i.done, i.size, i.end - i.start, i.written)
                   : dwlgui_ProgressText(i.name, i.done, i.size, dwl_Now() - i.start);
    SetCtrlVal(v_Panel, MAIN_PROGRESS_STATUS, text.c_str());
}

// The image step tells which image is being written and how far it got.
void imageStep(const ImageStepEvent& event, void*) {
    if (!aids()) return;
    static const char* const names[DWL_NB_IMAGES] = {"binary image", "ogm image", "TFS ogm image"};
    ImageInProgress& i = aids()->image;
    switch (event.Phase) {
    case IMAGE_STEP_BEGIN:
        if (event.Image >= DWL_NB_IMAGES) return;
        i = {names[event.Image], event.Total, 0, dwl_Now(), false, false, 0.0};
        // The bar moves at the end of each sector of the image: the next image (the ogm after
        // the binary in mode 0) starts it from 0, not from the last image's 100 %.
        SetCtrlVal(v_Panel, MAIN_PROGRESS, 0);
        SetCtrlVal(v_Panel, MAIN_PROGRESS_PERCENT, 0);
        break;
    case IMAGE_STEP_BYTES: i.done = event.Done; break;
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

// A new log line: stamp it.
void logChanged() {
    Aids& a = *aids();
    const UiControl* log = uis_Control(v_Panel, MAIN_LOG);
    if (log == nullptr) return;
    if (a.stamps.size() > log->items.size()) a.stamps.resize(log->items.size());
    const std::string now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
    while (a.stamps.size() < log->items.size())
        a.stamps.push_back(now);
}

void changed(int panel, int control) {
    if (panel != v_Panel || !aids()) return;
    switch (control) {
    case MAIN_LOG: logChanged(); break;
    // The handset ring: the title follows once the line is switched (selectLineAndShow).
    case MAIN_COM_PORT: showTitle(); break;
    default: break;
    }
}

// The handset ring's callback switches the line through this hook.
void selectLineAndShow(int emulated) {
    if (aids()->selectLine != nullptr) aids()->selectLine(emulated);
    showTitle();
}

void tick() {
    if (!dwl51_9RunActive()) return;
    dwl3_4ShowElapsedTime(sg_DownloadContext.StartTime, dwl_Time());
    showProgress();
}

bool choosePort(int com) {
    Aids& a = *aids();
    a.view->suspendDispatch();
    const std::string path = dwl_qt_PickPort(a.view->mainWindow(), com, dwl_ComDevicePath(com));
    a.view->resumeDispatch();
    if (path.empty()) return false;
    dwl_SetComDevice(com, path);
    QSettings().setValue(settingsKey(com), QString::fromStdString(path));
    dwl50_2AddCommentF("COM%d opens %s", com, path.c_str());
    showTitle();
    return true;
}

// The chip-select menus tick the wait states each chip select has now.
int menuItemChecked(int menuBar, int item) {
    const UiMenuBar* bar = uis_MenuBar(menuBar);
    if (bar == nullptr || bar->panel != v_Panel) return -1;
    for (int cs = 0; cs < 4; cs++)
        for (int count = 0; count <= 4; count++)
            if (item == MENU_WAIT_STATE(cs, count))
                return sg_DownloadContext.WaitState[cs] == count ? 1 : 0;
    return -1;
}

// Service -> Open report: offered where a browser is, dimmed while no results file is set.
int menuItemState(int menuBar, int item) {
    const UiMenuBar* bar = uis_MenuBar(menuBar);
    if (bar == nullptr || bar->panel != v_Panel || item != MENU_REPORT)
        return QtUiView::kMenuItemShown;
    if (!dwlgui_BrowserAvailable()) return QtUiView::kMenuItemHidden;
    return dwlgui_StationReportSource().empty() ? QtUiView::kMenuItemDimmed
                                                : QtUiView::kMenuItemShown;
}

void saveLog() {
    Aids& a = *aids();
    a.view->suspendDispatch();
    const QString path = QFileDialog::getSaveFileName(
        a.view->mainWindow(), QStringLiteral("Save operator log"),
        QStringLiteral("dwl-log-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))),
        QStringLiteral("Text files (*.txt *.log);;All files (*)"));
    a.view->resumeDispatch();
    if (path.isEmpty()) return;
    if (!dwlgui_WriteLog(path.toStdString()))
        MessagePopup("Save operator log", ("Cannot write " + path.toStdString()).c_str());
}

// Stop acts the moment it is pressed, even in a wait that runs no operator actions (the boot).
void connectStop() {
    auto* stop = qobject_cast<QPushButton*>(aids()->view->controlWidget(v_Panel, MAIN_STOP));
    if (stop == nullptr) return;
    QObject::connect(stop, &QPushButton::clicked, stop, [] {
        if (dwl51_5CommandRunning()) dwl51_11RequestStop();
    });
}

void afterLoad(QtUiView* view, std::shared_ptr<const std::vector<std::string>> paths, size_t i);

// Loads paths[i...] one at a time: a load locks the panel, and a press on a dimmed button is
// dropped, so the next file's press waits until the event loop has run the load before it.
void loadFrom(QtUiView* view, std::shared_ptr<const std::vector<std::string>> paths, size_t i) {
    for (; i < paths->size(); i++) {
        const std::string& path = (*paths)[i];
        const int button = dwl51_10LoadButtonFor(path.c_str());
        if (button == 0) {
            dwl50_2AddCommentF("Not an image file (.bin, .ogm, .tfs): %s", path.c_str());
            continue;
        }
        if (uis_OperateCommit(v_Panel, button) != 0) {
            // The load button is dimmed: by a command at work, else by the mode.
            const char* kind = button == MAIN_BIN_LOAD   ? "binary"
                               : button == MAIN_OGM_LOAD ? "ogm"
                                                         : "TFS";
            if (dwl51_5CommandRunning() || dwl51_9RunActive())
                dwl50_2AddCommentF("Cannot load now: %s: a command is running", path.c_str());
            else
                dwl50_2AddCommentF("Cannot load now: %s: mode %d takes no %s image", path.c_str(),
                                   static_cast<int>(sg_DownloadContext.Mode), kind);
            continue;
        }
        view->answerNextFileSelect(path);
        view->scheduleDispatch();
        afterLoad(view, paths, i + 1);
        return;
    }
}

// Goes on with paths[i...] once the load just posted has run to its end.
void afterLoad(QtUiView* view, std::shared_ptr<const std::vector<std::string>> paths, size_t i) {
    if (i >= paths->size()) return;
    QTimer::singleShot(kLoadPollMsecs, view, [view, paths, i] {
        if (uis_PendingEvents() > 0 || dwl51_5CommandRunning())
            afterLoad(view, paths, i);
        else
            loadFrom(view, paths, i);
    });
}

} // namespace

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

void dwlgui_InstallOperatorAids(QtUiView& view) {
    dwlgui_RemoveOperatorAids();
    aids() = std::make_unique<Aids>();
    Aids& a = *aids();
    a.view = &view;
    view.addChangeObserver(&changed);
    v_ImageStepListener = {&imageStep, nullptr};
    view.setDropHandler(
        [&view](const std::vector<std::string>& paths) { dwlgui_LoadFiles(view, paths); });
    QObject::connect(&a.ticker, &QTimer::timeout, &tick);
    a.ticker.start(kTickMsecs);
    view.setMenuCheck(&menuItemChecked);
    view.setMenuState(&menuItemState);
    v_ReportHook = &dwlgui_OpenStationReport;
    v_ChoosePortHook = &choosePort;
    v_SaveLogHook = &saveLog;
    a.selectLine = v_SelectLineHook;
    v_SelectLineHook = &selectLineAndShow;
    connectStop();
    logChanged();
    showTitle();
}

void dwlgui_RemoveOperatorAids() {
    if (!aids()) return;
    v_ChoosePortHook = nullptr;
    v_SaveLogHook = nullptr;
    if (v_SelectLineHook == &selectLineAndShow) v_SelectLineHook = aids()->selectLine;
    v_ImageStepListener = {nullptr, nullptr};
    aids()->view->setDropHandler(nullptr);
    aids()->view->setMenuCheck(nullptr);
    aids()->view->setMenuState(nullptr);
    v_ReportHook = nullptr;
    aids().reset();
}

void dwlgui_LoadFiles(QtUiView& view, const std::vector<std::string>& paths) {
    loadFrom(&view, std::make_shared<const std::vector<std::string>>(paths), 0);
}

void dwlgui_RestorePortChoices() {
    QSettings settings;
    for (int com = 1; com <= 4; com++) {
        const QString path = settings.value(settingsKey(com)).toString();
        if (!path.isEmpty() && !environmentNames(com)) dwl_SetComDevice(com, path.toStdString());
    }
}

std::vector<std::string> dwlgui_StampedLog() {
    std::vector<std::string> out;
    const UiControl* log = uis_Control(v_Panel, MAIN_LOG);
    if (log == nullptr) return out;
    for (size_t i = 0; i < log->items.size(); i++) {
        const std::string stamp = aids() && i < aids()->stamps.size() ? aids()->stamps[i] : "";
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

#include "app/gui/qt/gui_operator.h"

#include "app/gui/gui_aids.h"
#include "app/gui/gui_line.h"
#include "app/gui/qt/report_opener.h"
#include "app/gui/qt/station_control.h"
#include "link/com_map.h"
#include "platform/qt/ui_port_picker.h"
#include "platform/qt/ui_view.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <deque>
#include <memory>

namespace {

struct Aids {
    QtUiView* view = nullptr;
    // The line hook the program installed; the aids' own hook calls it, then shows the title.
    void (*selectLine)(int emulated) = nullptr;
    QTimer ticker;
    std::string baseTitle;
};

std::unique_ptr<Aids>& aids() {
    static std::unique_ptr<Aids> a;
    return a;
}

// How often a file load waits to see the load before it finished.
constexpr int kLoadPollMsecs = 20;

QString settingsKey(int com) {
    return QStringLiteral("ports/COM%1").arg(com);
}

void showTitle() {
    Aids& a = *aids();
    PanelWindow* main = a.view->mainWindow();
    if (main == nullptr) return;
    if (a.baseTitle.empty()) a.baseTitle = main->windowTitle().toStdString();
    main->setWindowTitle(QString::fromStdString(dwlgui_WindowTitle(a.baseTitle)));
}

void changed(int panel, int control) {
    if (panel != v_Panel || !aids()) return;
    switch (control) {
    case MAIN_LOG: dwlgui_LogChanged(); break;
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

bool choosePort(int com) {
    Aids& a = *aids();
    a.view->suspendDispatch();
    const std::string path = dwl_qt_PickPort(a.view->mainWindow(), com, dwl_ComDevicePath(com));
    a.view->resumeDispatch();
    if (path.empty()) return false;
    QSettings().setValue(settingsKey(com), QString::fromStdString(path));
    dwlgui_PortChosen(com, path);
    showTitle();
    return true;
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
    const QString path =
        QFileDialog::getSaveFileName(a.view->mainWindow(), QStringLiteral("Save operator log"),
                                     QString::fromStdString(dwlgui_LogFileName()),
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
    QObject::connect(stop, &QPushButton::clicked, stop, &dwlgui_StopPressed);
}

// Presses the next file's load button once the load before it has run to its end.
void loadNext(QtUiView* view, std::shared_ptr<std::deque<std::string>> files) {
    if (!dwlgui_LoadDone()) {
        QTimer::singleShot(kLoadPollMsecs, view, [view, files] { loadNext(view, files); });
        return;
    }
    const bool pressed = dwlgui_PressNextLoad(
        *files, [view](const std::string& path) { view->answerNextFileSelect(path); });
    if (!pressed) return;
    view->scheduleDispatch();
    if (!files->empty())
        QTimer::singleShot(kLoadPollMsecs, view, [view, files] { loadNext(view, files); });
}

} // namespace

void dwlgui_InstallOperatorAids(QtUiView& view) {
    dwlgui_RemoveOperatorAids();
    aids() = std::make_unique<Aids>();
    Aids& a = *aids();
    a.view = &view;
    view.addChangeObserver(&changed);
    dwlgui_StartAids();
    view.setDropHandler(
        [&view](const std::vector<std::string>& paths) { dwlgui_LoadFiles(view, paths); });
    QObject::connect(&a.ticker, &QTimer::timeout, &dwlgui_Tick);
    a.ticker.start(kDwlGuiTickMsecs);
    view.setMenuCheck(&dwlgui_MenuItemChecked);
    view.setMenuState(&menuItemState);
    v_ReportHook = &dwlgui_OpenStationReport;
    v_ChoosePortHook = &choosePort;
    v_SaveLogHook = &saveLog;
    a.selectLine = v_SelectLineHook;
    v_SelectLineHook = &selectLineAndShow;
    connectStop();
    showTitle();
}

void dwlgui_RemoveOperatorAids() {
    if (!aids()) return;
    v_ChoosePortHook = nullptr;
    v_SaveLogHook = nullptr;
    if (v_SelectLineHook == &selectLineAndShow) v_SelectLineHook = aids()->selectLine;
    dwlgui_StopAids();
    aids()->view->setDropHandler(nullptr);
    aids()->view->setMenuCheck(nullptr);
    aids()->view->setMenuState(nullptr);
    v_ReportHook = nullptr;
    aids().reset();
}

void dwlgui_LoadFiles(QtUiView& view, const std::vector<std::string>& paths) {
    loadNext(&view, std::make_shared<std::deque<std::string>>(paths.begin(), paths.end()));
}

void dwlgui_RestorePortChoices() {
    QSettings settings;
    for (int com = 1; com <= 4; com++) {
        const QString path = settings.value(settingsKey(com)).toString();
        if (!path.isEmpty() && !dwlgui_PortSetByEnvironment(com))
            dwl_SetComDevice(com, path.toStdString());
    }
}

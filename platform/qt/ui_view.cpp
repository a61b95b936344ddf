#include "platform/qt/ui_view.h"

#include "platform/qt/ui_panel_window.h"
#include "platform/qt/ui_popups.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMenuBar>
#include <QTimer>

namespace {
QtUiView* installed = nullptr;
} // namespace

QtUiView::QtUiView() = default;

QtUiView::~QtUiView() {
    if (installed == this) {
        uis_SetView(nullptr);
        installed = nullptr;
    }
    for (auto& [panel, window] : windows_)
        delete window.data();
    windows_.clear();
}

void QtUiView::install() {
    installed = this;
    uis_SetViewOfLivePanels(this, [](const UiView* view, int panel) {
        return static_cast<const QtUiView*>(view)->windows_.count(panel) != 0;
    });
}

QtUiView* QtUiView::active() {
    return installed;
}

PanelWindow* QtUiView::window(int panel) const {
    auto it = windows_.find(panel);
    return it == windows_.end() ? nullptr : it->second.data();
}

PanelWindow* QtUiView::mainWindow() const {
    for (const auto& [panel, window] : windows_) {
        if (window != nullptr && window->parentWidget() == nullptr) return window.data();
    }
    return nullptr;
}

QMenuBar* QtUiView::menuBar(int panel) const {
    PanelWindow* w = window(panel);
    return w != nullptr ? w->menuBar() : nullptr;
}

QWidget* QtUiView::controlWidget(int panel, int control) const {
    PanelWindow* w = window(panel);
    return w != nullptr ? w->controlWidget(control) : nullptr;
}

// --- Operator actions ------------------------------------------------------------------------

void QtUiView::scheduleDispatch() {
    if (dispatchScheduled_) return;
    dispatchScheduled_ = true;
    QTimer::singleShot(0, this, &QtUiView::dispatchPosted);
}

void QtUiView::dispatchPosted() {
    dispatchScheduled_ = false;
    if (suspended_ > 0) {
        dispatchDeferred_ = true;
        return;
    }
    uis_DispatchEvents();
    fileAnswers_.clear();
}

void QtUiView::addChangeObserver(ChangeObserver observer) {
    observers_.push_back(std::move(observer));
}

void QtUiView::filesDropped(const std::vector<std::string>& paths) {
    if (dropHandler_) dropHandler_(paths);
}

void QtUiView::answerNextFileSelect(const std::string& path) {
    fileAnswers_.push_back(path);
}

void QtUiView::suspendDispatch() {
    suspended_++;
}

void QtUiView::resumeDispatch() {
    if (suspended_ > 0) suspended_--;
    if (suspended_ == 0 && dispatchDeferred_) {
        dispatchDeferred_ = false;
        scheduleDispatch();
    }
}

// --- Panels ----------------------------------------------------------------------------------

void QtUiView::panelLoaded(int panel) {
    const UiPanel* p = uis_Panel(panel);
    if (p == nullptr || window(panel) != nullptr) return;
    windows_[panel] = new PanelWindow(*this, *p, mainWindow());
}

void QtUiView::panelDisplayed(int panel) {
    PanelWindow* w = window(panel);
    if (w == nullptr) return;
    w->centreOnOwner();
    w->show();
    w->raise();
    if (w->parentWidget() != nullptr) w->activateWindow();
}

void QtUiView::panelHidden(int panel) {
    if (PanelWindow* w = window(panel)) w->hide();
}

void QtUiView::panelDiscarded(int panel) {
    auto it = windows_.find(panel);
    if (it == windows_.end()) return;
    PanelWindow* w = it->second.data();
    windows_.erase(it);
    if (w == nullptr) return;
    w->hide();
    // A callback of one of its own widgets may be what discards it.
    w->deleteLater();
}

void QtUiView::menuBarLoaded(int menuBar, int panel) {
    if (PanelWindow* w = window(panel)) w->attachMenuBar(menuBar);
}

void QtUiView::menuBarDiscarded(int menuBar, int panel) {
    PanelWindow* w = window(panel);
    if (w != nullptr && w->menuBarHandle() == menuBar) w->detachMenuBar();
}

void QtUiView::controlChanged(int panel, int control) {
    PanelWindow* w = window(panel);
    if (w == nullptr) return;
    const UiControl* state = uis_Control(panel, control);
    QWidget* widget = w->controlWidget(control);
    if (state != nullptr && !state->dimmed && widget != nullptr && !widget->isEnabled()) {
        // Input the window system still holds was made while the control was dimmed: it meets
        // the control dimmed, before the control comes back.
        deliverPendingInput();
        w = window(panel);
        if (w == nullptr) return;
    }
    w->refresh(control);
    for (const ChangeObserver& observer : observers_)
        observer(panel, control);
}

void QtUiView::deliverPendingInput() {
    if (delivering_) return;
    delivering_ = true;
    suspendDispatch();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    resumeDispatch();
    delivering_ = false;
}

// --- Event loop ------------------------------------------------------------------------------

void QtUiView::processEvents() {
    QCoreApplication::processEvents();
}

void QtUiView::runEventLoop() {
    // Actions posted before the loop started.
    if (uis_PendingEvents() > 0) scheduleDispatch();
    if (uis_QuitRequested()) return;
    QApplication::exec();
}

void QtUiView::quitEventLoop() {
    // exit(), not quit(): quit() would first try to close every window, and the windows leave
    // closing to the panels' own callbacks.
    QCoreApplication::exit(0);
}

// --- Pop-ups ---------------------------------------------------------------------------------

QWidget* QtUiView::dialogParent() const {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (const auto& [panel, window] : windows_) {
        if (window != nullptr && window->isVisible()) return window.data();
    }
    return nullptr;
}

int QtUiView::fileSelect(const char* defaultDirectory, const char* fileType, const char* title,
                         std::string& path) {
    if (!fileAnswers_.empty()) {
        path = fileAnswers_.front();
        fileAnswers_.pop_front();
        return VAL_EXISTING_FILE_SELECTED;
    }
    suspendDispatch();
    const std::vector<UiFileRequest>& requests = uis_FileRequests();
    const bool save = !requests.empty() && requests.back().buttonLabel == "Save";
    const int status =
        dwl_qt_FileDialog(dialogParent(), defaultDirectory, fileType, title, path, save);
    resumeDispatch();
    return status;
}

void QtUiView::message(const char* title, const char* text) {
    suspendDispatch();
    dwl_qt_MessageBox(dialogParent(), title, text);
    resumeDispatch();
}

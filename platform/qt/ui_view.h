// The Qt Widgets view of the user-interface services: one window per displayed panel, built from
// the panel's controls and kept in step with the state the services hold. Operator actions on
// the widgets go back through the uis_Operate* functions and are dispatched from the event loop.
#pragma once

#include "platform/qt/ui_panel_window.h"
#include "session/uis_backend.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <string>

class QMenuBar;
class QWidget;

class QtUiView : public QObject, public UiView {
    Q_OBJECT

  public:
    QtUiView();
    ~QtUiView() override;
    QtUiView(const QtUiView&) = delete;
    QtUiView& operator=(const QtUiView&) = delete;

    // Makes this the view of the services and builds the windows of the panels already loaded.
    void install();
    // The installed view, nullptr when none is.
    static QtUiView* active();

    // Window of a live panel (nullptr when there is none).
    PanelWindow* window(int panel) const;
    // Menu bar widget the panel's window shows now (nullptr while the panel has none).
    QMenuBar* menuBar(int panel) const;
    // Main widget of a control (the button, the combo box, the list ...).
    QWidget* controlWidget(int panel, int control) const;

    // Posted operator actions run from the event loop, never inside the widget's own signal.
    void scheduleDispatch();
    // While suspended (modal pop-ups, waits on the serial line) posted actions stay queued.
    void suspendDispatch();
    void resumeDispatch();

    // UiView
    void panelLoaded(int panel) override;
    void panelDisplayed(int panel) override;
    void panelHidden(int panel) override;
    void panelDiscarded(int panel) override;
    void menuBarLoaded(int menuBar, int panel) override;
    void menuBarDiscarded(int menuBar, int panel) override;
    void controlChanged(int panel, int control) override;
    void processEvents() override;
    void runEventLoop() override;
    void quitEventLoop() override;
    int fileSelect(const char* defaultDirectory, const char* fileType, const char* title,
                   std::string& path) override;
    void message(const char* title, const char* text) override;

  private:
    void dispatchPosted();
    // Window that owns pop-ups: the active one, else the oldest visible panel window.
    QWidget* dialogParent() const;

    std::map<int, QPointer<PanelWindow>> windows_;
    bool dispatchScheduled_ = false;
    bool dispatchDeferred_ = false;
    int suspended_ = 0;
};

// The Qt Widgets view of the user-interface services: one window per displayed panel, built from
// the panel's controls and kept in step with the state the services hold. Operator actions on
// the widgets go back through the uis_Operate* functions and are dispatched from the event loop.
#pragma once

#include "platform/qt/ui_panel_window.h"
#include "uis/uis_backend.h"

#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

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
    // The program's main window: the first panel loaded (nullptr before there is one). Every
    // later window stays in front of it.
    PanelWindow* mainWindow() const;
    // Menu bar widget the panel's window shows now (nullptr while the panel has none).
    QMenuBar* menuBar(int panel) const;
    // Main widget of a control (the button, the combo box, the list ...).
    QWidget* controlWidget(int panel, int control) const;

    // Posted operator actions run from the event loop, never inside the widget's own signal.
    void scheduleDispatch();
    // While suspended (modal pop-ups, waits on the serial line) posted actions stay queued.
    void suspendDispatch();
    void resumeDispatch();

    // Called after every change of a control the services report (value, text, dimmed state).
    using ChangeObserver = std::function<void(int panel, int control)>;
    void addChangeObserver(ChangeObserver observer);
    // Whether a menu item shows a tick: 1 ticked, 0 not, -1 an item that never has one. Asked
    // each time a menu opens (none: no item has a tick).
    using MenuCheck = std::function<int(int menuBar, int menuItem)>;
    void setMenuCheck(MenuCheck check) { menuCheck_ = std::move(check); }
    int menuItemChecked(int menuBar, int menuItem) const {
        return menuCheck_ ? menuCheck_(menuBar, menuItem) : -1;
    }
    // Whether a menu item is offered: kMenuItemShown, kMenuItemDimmed or kMenuItemHidden. Asked
    // each time a menu opens (none: every item is offered).
    enum { kMenuItemHidden = -1, kMenuItemDimmed = 0, kMenuItemShown = 1 };
    using MenuState = std::function<int(int menuBar, int menuItem)>;
    void setMenuState(MenuState state) { menuState_ = std::move(state); }
    int menuItemState(int menuBar, int menuItem) const {
        return menuState_ ? menuState_(menuBar, menuItem) : kMenuItemShown;
    }
    // Files dropped on the main window go to this handler (none: drops are refused).
    using DropHandler = std::function<void(const std::vector<std::string>& paths)>;
    void setDropHandler(DropHandler handler) { dropHandler_ = std::move(handler); }
    bool acceptsDrops() const { return static_cast<bool>(dropHandler_); }
    void filesDropped(const std::vector<std::string>& paths);
    // The next file selection answers with this path instead of opening the dialog (a file
    // dropped on the window, or named on the command line, goes through its load button).
    // Answers not taken by the operator actions dispatched next are forgotten.
    void answerNextFileSelect(const std::string& path);

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
    // Lets pending input reach the widgets now, with no operator action dispatched.
    void deliverPendingInput();
    // Window that owns pop-ups: the active one, else the oldest visible panel window.
    QWidget* dialogParent() const;

    std::map<int, QPointer<PanelWindow>> windows_;
    bool dispatchScheduled_ = false;
    bool dispatchDeferred_ = false;
    int suspended_ = 0;
    bool delivering_ = false;
    std::vector<ChangeObserver> observers_;
    DropHandler dropHandler_;
    MenuCheck menuCheck_;
    MenuState menuState_;
    std::deque<std::string> fileAnswers_;
};

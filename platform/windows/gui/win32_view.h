// The Win32 view of the user-interface services: one window per displayed panel, built from the
// panel's controls with the system's own controls and kept in step with the state the services
// hold. Operator actions on the controls go back through the uis_Operate* functions and are
// dispatched from the message loop, never inside the control's own notification.
//
// The first panel loaded is the program's main window: a free top-level window that the operator
// can resize (its list box, the operator log, grows with it) and that takes image files dropped
// on it. Every later panel's window is owned by it: it stays in front of it, opens centred on it,
// and Enter presses its button. Texts are UTF-8 in the services and wide in every Win32 call.
#pragma once

#include "uis/uis_backend.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Win32Panel;

// UTF-8 to UTF-16 and back.
std::wstring win32_Wide(const std::string& text);
std::string win32_Utf8(const std::wstring& text);
// The text of a window, as UTF-8.
std::string win32_WindowText(HWND window);

// What a file dialog of the view asks the system for.
struct Win32FileDialog {
    bool save = false;     // GetSaveFileNameW (a file that may be new), else GetOpenFileNameW
    std::wstring title;    // the dialog's caption
    std::wstring filter;   // pairs of display text and pattern, each ended by a NUL
    std::wstring folder;   // where it opens
    std::wstring fileName; // the name it offers (a save)
    std::wstring defaultExtension; // added to a typed name without one (a save)
};

// The dialog for a file selection of the panels: fileType the pattern ("*.bin"), title its
// caption; the images filter first, then all files. The folder: requested when that folder
// exists, else $DWL_IMAGES_DIR, else the images folder of the user's profile when there is one,
// else the working directory.
Win32FileDialog win32_FileDialogFor(const char* requestedFolder, const char* fileType,
                                    const char* title, bool save);

class Win32UiView : public UiView {
  public:
    Win32UiView();
    ~Win32UiView() override;
    Win32UiView(const Win32UiView&) = delete;
    Win32UiView& operator=(const Win32UiView&) = delete;

    // Makes this the view of the services and builds the windows of the panels already loaded.
    void install();
    // The installed view, nullptr when none is.
    static Win32UiView* active();

    // Window of a live panel (nullptr when there is none).
    HWND window(int panel) const;
    // The program's main window: the first panel's (nullptr before there is one).
    HWND mainWindow() const;
    // The system control that shows a control, and the caption above it (nullptr when the kind
    // has none).
    HWND controlWindow(int panel, int control) const;
    HWND captionWindow(int panel, int control) const;
    // The menu bar a panel's window shows (nullptr while it has none). While the services have
    // removed it (the panel is locked during a run) it stays, greyed.
    HMENU menuBar(int panel) const;
    int menuBarHandle(int panel) const;
    // The command identifier of a menu item in the window's menu.
    static UINT menuCommand(int menuItem);
    // Whether a control is drawn lit (indicator lights).
    bool lit(int panel, int control) const;

    // Posted operator actions run from the message loop, never inside a control's notification.
    void scheduleDispatch();
    // While suspended (modal pop-ups, waits on the serial line) posted actions stay queued.
    void suspendDispatch();
    void resumeDispatch();
    // Delivers the window messages waiting now (operator input, painting, timers) without
    // dispatching operator actions; returns at once.
    void deliverPendingInput();
    // What the wait hook runs while a run waits on the line: deliverPendingInput, and from
    // then until the run gives the message loop back, the changes of the controls are gathered
    // and shown from the waits (a change shown at once paints the window there and then, which
    // under wine takes milliseconds between a reply and the next command).
    void deliverWhileWaiting();

    // Called after every change of a control the services report.
    using ChangeObserver = std::function<void(int panel, int control)>;
    void addChangeObserver(ChangeObserver observer) { observers_.push_back(std::move(observer)); }
    // Called the moment a button is pressed, before its commit is dispatched (Stop acts at once).
    using PressObserver = std::function<void(int panel, int control)>;
    void setPressObserver(PressObserver observer) { pressObserver_ = std::move(observer); }
    // Whether a menu item shows a tick: 1 ticked, 0 not, -1 an item that never has one. Asked
    // each time a menu opens.
    using MenuCheck = std::function<int(int menuBar, int menuItem)>;
    void setMenuCheck(MenuCheck check) { menuCheck_ = std::move(check); }
    int menuItemChecked(int menuBar, int menuItem) const {
        return menuCheck_ ? menuCheck_(menuBar, menuItem) : -1;
    }
    // Files dropped on the main window go to this handler (none: drops are refused).
    using DropHandler = std::function<void(const std::vector<std::string>& paths)>;
    void setDropHandler(DropHandler handler);
    void filesDropped(const std::vector<std::string>& paths);
    // The next file selection answers with this path instead of opening the dialog. Answers not
    // taken by the operator actions dispatched next are forgotten.
    void answerNextFileSelect(const std::string& path) { fileAnswers_.push_back(path); }
    // Runs the task once from the message loop (after what is queued now).
    void later(std::function<void()> task);
    // Runs every period milliseconds from the message loop (and from waits on the line).
    void setTicker(int periodMsecs, std::function<void()> tick);

    // The pop-ups go to these instead of the system's dialogs when set (the tests answer them):
    // a message, and a file dialog that returns a VAL_* status and the path.
    using MessageAnswer = std::function<void(const std::string& title, const std::string& text)>;
    using FileAnswer = std::function<int(const Win32FileDialog& dialog, std::string& path)>;
    void setPopupAnswers(MessageAnswer message, FileAnswer file);
    // Shows a file dialog (or asks the test's answer); a VAL_* status and the chosen path.
    int runFileDialog(const Win32FileDialog& dialog, std::string& path);
    // Owner of pop-ups: the active window of the program, else the main window.
    HWND dialogOwner() const;

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

    // --- For the panel windows ---
    void dispatchPosted();
    void showChanges();
    void onTimer();
    void bury();
    void runLater();
    void notifyPressed(int panel, int control) {
        if (pressObserver_) pressObserver_(panel, control);
    }
    bool acceptsDrops() const { return static_cast<bool>(dropHandler_); }
    // One message of the loop: dialog keys (Tab, Enter) for the window it is meant for.
    static void deliver(MSG& msg);

  private:
    Win32Panel* find(int panel) const;
    // Posts the actions held back while dispatching was suspended, once it no longer is.
    void postDeferredDispatch();
    // Shows a control's state in its window.
    void show(int panel, int control);

    HWND dispatcher_ = nullptr; // message-only window of the posted actions and the ticker
    std::map<int, std::unique_ptr<Win32Panel>> panels_;
    std::vector<std::unique_ptr<Win32Panel>> graveyard_; // discarded, destroyed from the loop
    int mainPanel_ = 0;
    bool dispatchScheduled_ = false;
    bool dispatchDeferred_ = false;
    int suspended_ = 0;
    bool gathering_ = false; // a run waits on the line: changes are shown from its waits
    std::vector<std::pair<int, int>> changed_; // panel, control; not shown yet
    bool delivering_ = false;
    int loopDepth_ = 0;
    int quitsPending_ = 0;
    std::vector<ChangeObserver> observers_;
    PressObserver pressObserver_;
    DropHandler dropHandler_;
    MenuCheck menuCheck_;
    std::deque<std::string> fileAnswers_;
    std::function<void()> tick_;
    std::deque<std::function<void()>> tasks_;
    MessageAnswer messageAnswer_;
    FileAnswer fileAnswer_;
};

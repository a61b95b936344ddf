// The other side of the user-interface services: what a front end (the Qt view, the command
// line) and the tests use to see the panels and to act as the operator would.
//
// Operator actions are posted to an event queue; ProcessSystemEvents and RunUserInterface
// dispatch it to the callbacks that the layout files name. An action on a dimmed control, on a
// discarded panel or on a removed menu bar is ignored, both when it is posted and when it is
// dispatched.
#pragma once

#include "uis/uis.h"
#include "uis/uis_records.h"

#include <functional>
#include <string>
#include <vector>

// --- Looking at the state -------------------------------------------------------------------
// nullptr when the handle is not (or no longer) alive. Pointers are valid until the next call
// that loads or discards something.
const UiPanel* uis_Panel(int panel);
const UiMenuBar* uis_MenuBar(int menuBar);
const UiControl* uis_Control(int panel, int control);
// Handles of the live panels, oldest first.
std::vector<int> uis_LivePanels();
// Newest live instance of a panel resource of a layout file (compared by plain file name);
// 0 when there is none.
int uis_FindPanel(const char* layoutFile, int panelResource);
// Number of live instances of a panel resource.
int uis_CountPanels(const char* layoutFile, int panelResource);
// Control / menu item bound to a callback name; UIE_BAD_CONTROL when there is none.
int uis_FindControlByCallback(int panel, const char* callbackName);
int uis_FindMenuItemByCallback(int menuBar, const char* callbackName);
// Text of a control: string and label texts, a text box's lines joined with '\n', the label of
// the selected ring / list item. Empty for an unknown control.
std::string uis_ControlText(int panel, int control);

// --- Acting as the operator -----------------------------------------------------------------
// Each returns 0 when the action was posted, or a negative UIE_* code when it was ignored
// (UIE_BAD_HANDLE, UIE_BAD_CONTROL, UIE_DIMMED, UIE_TYPE).
int uis_OperateCommit(int panel, int control);
// Selects the ring / list item with that value (numeric: sets it), then posts value-changed.
int uis_OperateSetValue(int panel, int control, int value);
// Sets the text of a string control, then posts value-changed.
int uis_OperateSetText(int panel, int control, const char* text);
int uis_OperateMenuItem(int menuBar, int menuItem);
// Closes a panel's window as the window frame would: posts EVENT_CLOSE to its close callback.
int uis_OperateClose(int panel);
// Number of posted events not yet dispatched.
size_t uis_PendingEvents();
// Dispatches the events posted so far (not those that their callbacks post); returns the
// number dispatched. This is what ProcessSystemEvents does before asking the view.
int uis_DispatchEvents();
// True after QuitUserInterface, until the next RunUserInterface.
bool uis_QuitRequested();

// --- Pop-ups ---------------------------------------------------------------------------------
struct UiFileRequest {
    std::string defaultDirectory;
    std::string fileType;
    std::string title;
    std::string buttonLabel; // "Save": the file may be a new one
};
struct UiMessage {
    std::string title;
    std::string text;
};
// Queues the answer of the next FileSelectPopup (status VAL_* and path). With an empty queue
// FileSelectPopup answers VAL_NO_FILE_SELECTED.
void uis_PushFileAnswer(const char* path, int status = VAL_EXISTING_FILE_SELECTED);
const std::vector<UiFileRequest>& uis_FileRequests();
const std::vector<UiMessage>& uis_Messages();
void uis_ClearMessages();

// --- Observers -------------------------------------------------------------------------------
// Called for every item inserted into a list box (the operator log is control 23 of v_Panel).
using UiListObserver = std::function<void(int panel, int control, const char* label)>;
void uis_SetListObserver(UiListObserver observer);

// --- Layout files ----------------------------------------------------------------------------
// Callback names a layout file uses (controls, menu items, window close), each once, in order
// of appearance. Returns 0 or UIE_FILE.
int uis_LayoutCallbackNames(const char* layoutFile, std::vector<std::string>& names);
// Panel and menu-bar resource numbers of a layout file. Returns 0 or UIE_FILE.
int uis_LayoutResources(const char* layoutFile, std::vector<int>& panels,
                        std::vector<int>& menuBars);
// Why the last load or parse failed ("line 12: unknown control kind"), empty otherwise.
const std::string& uis_LastError();

// Discards every panel and menu bar, empties the event queue, the file answers, the recorded
// pop-ups and the quit state, and removes the list observer. Handles are never reused, even
// across a reset. The callback table and the layout folder stay.
void uis_Reset();

// --- View -----------------------------------------------------------------------------------
// A front end that shows the panels. The services keep all state; the view renders it and feeds
// the operator's actions back through uis_Operate*. Without a view the services run headless.
class UiView {
  public:
    virtual ~UiView() = default;
    virtual void panelLoaded(int /*panel*/) {}
    virtual void panelDisplayed(int /*panel*/) {}
    virtual void panelHidden(int /*panel*/) {}
    virtual void panelDiscarded(int /*panel*/) {}
    virtual void menuBarLoaded(int /*menuBar*/, int /*panel*/) {}
    virtual void menuBarDiscarded(int /*menuBar*/, int /*panel*/) {}
    // Value, text, attributes, list items or text-box lines of a control changed.
    virtual void controlChanged(int /*panel*/, int /*control*/) {}

    // Lets the window system deliver pending input; returns at once.
    virtual void processEvents() = 0;
    // Runs until quitEventLoop; must call uis_DispatchEvents after posting operator actions.
    virtual void runEventLoop() = 0;
    virtual void quitEventLoop() = 0;
    // Returns a VAL_* status and the chosen path.
    virtual int fileSelect(const char* defaultDirectory, const char* fileType, const char* title,
                           std::string& path) = 0;
    virtual void message(const char* title, const char* text) = 0;
};

// Installs a view (nullptr: headless). The view is not owned.
void uis_SetView(UiView* view);
// Installs a view and tells it of the panels loaded before it came, as if they were loaded now
// (their menu bars, and those on screen shown), but for those it already has (shown(panel)).
void uis_SetViewOfLivePanels(UiView* view, bool (*shown)(const UiView* view, int panel));

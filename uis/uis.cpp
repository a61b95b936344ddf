// User-interface services, headless: every panel, control and menu bar lives here; a view, when
// one is installed, only renders this state and feeds operator actions back.
#include "uis/uis.h"

#include "uis/uis_backend.h"
#include "uis/uis_layout.h"

#include <cstdio>
#include <deque>
#include <map>
#include <utility>

namespace {

struct Binding {
    std::string name;
    CtrlCallbackPtr ctrl;
    MenuCallbackPtr menu;
};

enum EventKind { EV_CONTROL, EV_CLOSE, EV_MENU };

struct PostedEvent {
    EventKind kind;
    int handle; // panel, or menu bar for EV_MENU
    int id;     // control or menu item
    int event;
};

struct FileAnswer {
    std::string path;
    int status;
};

struct UisState {
    std::vector<Binding> bindings;
    std::string layoutDirectory;
    std::map<int, UiPanel> panels;
    std::map<int, UiMenuBar> menuBars;
    int nextHandle = 1;
    std::deque<PostedEvent> events;
    std::deque<FileAnswer> fileAnswers;
    std::vector<UiFileRequest> fileRequests;
    std::vector<UiMessage> messages;
    bool quit = false;
    int quitCode = 0;
    UiListObserver listObserver;
    UiView* view = nullptr;
    std::string lastError;
};

UisState& state() {
    static UisState s;
    return s;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string resolve(const char* layoutFile) {
    const std::string name = layoutFile != nullptr ? layoutFile : "";
    const std::string& dir = state().layoutDirectory;
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos || dir.empty())
        return name;
    return dir + "/" + name;
}

const Binding* findBinding(const std::string& name) {
    for (const Binding& b : state().bindings) {
        if (b.name == name) return &b;
    }
    return nullptr;
}

bool ctrlBound(const std::string& name) {
    const Binding* b = findBinding(name);
    return b != nullptr && b->ctrl != nullptr;
}

bool menuBound(const std::string& name) {
    const Binding* b = findBinding(name);
    return b != nullptr && b->menu != nullptr;
}

UiPanel* panelOf(int handle) {
    auto it = state().panels.find(handle);
    return it == state().panels.end() ? nullptr : &it->second;
}

UiMenuBar* menuBarOf(int handle) {
    auto it = state().menuBars.find(handle);
    return it == state().menuBars.end() ? nullptr : &it->second;
}

UiControl* controlOf(UiPanel* p, int control) {
    if (p == nullptr) return nullptr;
    for (UiControl& c : p->controls) {
        if (c.id == control) return &c;
    }
    return nullptr;
}

// Looks up a control; on failure err holds the reason.
UiControl* lookup(int panel, int control, int& err) {
    UiPanel* p = panelOf(panel);
    if (p == nullptr) {
        err = UIE_BAD_HANDLE;
        return nullptr;
    }
    UiControl* c = controlOf(p, control);
    err = c == nullptr ? UIE_BAD_CONTROL : 0;
    return c;
}

const UiMenuItem* menuItemOf(const UiMenuBar* m, int item) {
    if (m == nullptr || item <= 0) return nullptr;
    for (const UiMenu& menu : m->menus) {
        for (const UiMenuItem& it : menu.items) {
            if (!it.separator && it.id == item) return &it;
        }
    }
    return nullptr;
}

void changed(int panel, int control) {
    if (state().view != nullptr) state().view->controlChanged(panel, control);
}

bool isList(const UiControl& c) {
    return uis_HoldsList(c.kind);
}
bool holdsInt(const UiControl& c) {
    return uis_HoldsInt(c.kind);
}
bool holdsText(const UiControl& c) {
    return uis_HoldsText(c.kind);
}

void copyText(const std::string& from, char* to, size_t size) {
    if (to == nullptr || size == 0) return;
    snprintf(to, size, "%s", from.c_str());
}

int readLayout(const char* layoutFile, UiLayout& layout) {
    return uis_ReadLayout(resolve(layoutFile), layout, state().lastError);
}

void discardMenuBarInternal(int handle) {
    UiMenuBar* m = menuBarOf(handle);
    if (m == nullptr) return;
    const int panel = m->panel;
    UiPanel* p = panelOf(panel);
    if (p != nullptr && p->menuBar == handle) p->menuBar = 0;
    state().menuBars.erase(handle);
    if (state().view != nullptr) state().view->menuBarDiscarded(handle, panel);
}

void discardPanelInternal(int handle) {
    UiPanel* p = panelOf(handle);
    if (p == nullptr) return;
    std::vector<int> children;
    for (const auto& [h, child] : state().panels) {
        if (child.parent == handle) children.push_back(h);
    }
    for (int child : children)
        discardPanelInternal(child);
    p = panelOf(handle);
    if (p == nullptr) return;
    if (p->menuBar != 0) discardMenuBarInternal(p->menuBar);
    state().panels.erase(handle);
    if (state().view != nullptr) state().view->panelDiscarded(handle);
}

// Whether an operator action on a control can happen now.
int controlActionAllowed(int panel, int control) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (c->dimmed) return UIE_DIMMED;
    return 0;
}

int menuActionAllowed(int menuBar, int item) {
    UiMenuBar* m = menuBarOf(menuBar);
    if (m == nullptr) return UIE_BAD_HANDLE;
    UiPanel* p = panelOf(m->panel);
    if (p == nullptr || p->menuBar != menuBar) return UIE_BAD_HANDLE;
    if (menuItemOf(m, item) == nullptr) return UIE_BAD_CONTROL;
    return 0;
}

void dispatch(const PostedEvent& e) {
    switch (e.kind) {
    case EV_CONTROL: {
        if (controlActionAllowed(e.handle, e.id) != 0) return;
        const UiControl* c = controlOf(panelOf(e.handle), e.id);
        const Binding* b = findBinding(c->callback);
        if (b == nullptr || b->ctrl == nullptr) return;
        CtrlCallbackPtr fn = b->ctrl;
        fn(e.handle, e.id, e.event, nullptr, 0, 0);
        return;
    }
    case EV_CLOSE: {
        UiPanel* p = panelOf(e.handle);
        if (p == nullptr) return;
        const Binding* b = findBinding(p->closeCallback);
        if (b == nullptr || b->ctrl == nullptr) return;
        CtrlCallbackPtr fn = b->ctrl;
        fn(e.handle, 0, EVENT_CLOSE, nullptr, 0, 0);
        return;
    }
    case EV_MENU: {
        if (menuActionAllowed(e.handle, e.id) != 0) return;
        const UiMenuBar* m = menuBarOf(e.handle);
        const Binding* b = findBinding(menuItemOf(m, e.id)->callback);
        if (b == nullptr || b->menu == nullptr) return;
        MenuCallbackPtr fn = b->menu;
        const int panel = m->panel;
        fn(e.handle, e.id, nullptr, panel);
        return;
    }
    }
}

} // namespace

// --- Binding and files -------------------------------------------------------------------------

void uis_SetCallbackTable(const CallbackBinding* table, size_t count) {
    state().bindings.clear();
    for (size_t i = 0; table != nullptr && i < count; i++) {
        if (table[i].name == nullptr) continue;
        state().bindings.push_back({table[i].name, table[i].ctrl, table[i].menu});
    }
}

void uis_SetLayoutDirectory(const char* directory) {
    state().layoutDirectory = directory != nullptr ? directory : "";
}

const std::string& uis_LastError() {
    return state().lastError;
}

int uis_LayoutCallbackNames(const char* layoutFile, std::vector<std::string>& names) {
    UiLayout layout;
    names.clear();
    const int rc = readLayout(layoutFile, layout);
    if (rc != 0) return rc;
    names = uis_CallbackNames(layout);
    return 0;
}

int uis_LayoutResources(const char* layoutFile, std::vector<int>& panels,
                        std::vector<int>& menuBars) {
    UiLayout layout;
    panels.clear();
    menuBars.clear();
    const int rc = readLayout(layoutFile, layout);
    if (rc != 0) return rc;
    for (const UiPanel& p : layout.panels)
        panels.push_back(p.resource);
    for (const UiMenuBar& m : layout.menuBars)
        menuBars.push_back(m.resource);
    return 0;
}

// --- Panels and menu bars ----------------------------------------------------------------------

int LoadPanel(int parentPanel, const char* layoutFile, int panelResource) {
    if (parentPanel != 0 && panelOf(parentPanel) == nullptr) return UIE_BAD_HANDLE;
    UiLayout layout;
    const int rc = readLayout(layoutFile, layout);
    if (rc != 0) return rc;
    UiPanel* found = nullptr;
    for (UiPanel& p : layout.panels) {
        if (p.resource == panelResource) found = &p;
    }
    if (found == nullptr) {
        state().lastError = "no panel " + std::to_string(panelResource);
        return UIE_RESOURCE;
    }
    if (!found->closeCallback.empty() && !ctrlBound(found->closeCallback)) {
        state().lastError = "callback not bound: " + found->closeCallback;
        return UIE_CALLBACK;
    }
    for (const UiControl& c : found->controls) {
        if (!c.callback.empty() && !ctrlBound(c.callback)) {
            state().lastError = "callback not bound: " + c.callback;
            return UIE_CALLBACK;
        }
    }
    state().lastError.clear();
    const int handle = state().nextHandle++;
    UiPanel instance = *found;
    instance.handle = handle;
    instance.layoutFile = layoutFile;
    instance.parent = parentPanel;
    instance.visible = false;
    instance.menuBar = 0;
    state().panels[handle] = instance;
    if (state().view != nullptr) state().view->panelLoaded(handle);
    return handle;
}

int DisplayPanel(int panel) {
    UiPanel* p = panelOf(panel);
    if (p == nullptr) return UIE_BAD_HANDLE;
    p->visible = true;
    if (state().view != nullptr) state().view->panelDisplayed(panel);
    return 0;
}

int HidePanel(int panel) {
    UiPanel* p = panelOf(panel);
    if (p == nullptr) return UIE_BAD_HANDLE;
    p->visible = false;
    if (state().view != nullptr) state().view->panelHidden(panel);
    return 0;
}

int DiscardPanel(int panel) {
    if (panelOf(panel) == nullptr) return UIE_BAD_HANDLE;
    discardPanelInternal(panel);
    return 0;
}

int LoadMenuBar(int panel, const char* layoutFile, int menuBarResource) {
    if (panelOf(panel) == nullptr) return UIE_BAD_HANDLE;
    UiLayout layout;
    const int rc = readLayout(layoutFile, layout);
    if (rc != 0) return rc;
    UiMenuBar* found = nullptr;
    for (UiMenuBar& m : layout.menuBars) {
        if (m.resource == menuBarResource) found = &m;
    }
    if (found == nullptr) {
        state().lastError = "no menu bar " + std::to_string(menuBarResource);
        return UIE_RESOURCE;
    }
    for (const UiMenu& menu : found->menus) {
        for (const UiMenuItem& it : menu.items) {
            if (!it.callback.empty() && !menuBound(it.callback)) {
                state().lastError = "callback not bound: " + it.callback;
                return UIE_CALLBACK;
            }
        }
    }
    state().lastError.clear();
    // A panel carries one menu bar: a new one replaces the old.
    if (panelOf(panel)->menuBar != 0) discardMenuBarInternal(panelOf(panel)->menuBar);
    const int handle = state().nextHandle++;
    UiMenuBar instance = *found;
    instance.handle = handle;
    instance.panel = panel;
    instance.layoutFile = layoutFile;
    state().menuBars[handle] = instance;
    panelOf(panel)->menuBar = handle;
    if (state().view != nullptr) state().view->menuBarLoaded(handle, panel);
    return handle;
}

int DiscardMenuBar(int menuBar) {
    if (menuBarOf(menuBar) == nullptr) return UIE_BAD_HANDLE;
    discardMenuBarInternal(menuBar);
    return 0;
}

// --- Event loop --------------------------------------------------------------------------------

int RunUserInterface() {
    state().quit = false;
    state().quitCode = 0;
    if (state().view != nullptr) {
        state().view->runEventLoop();
    } else {
        while (!state().quit && !state().events.empty()) {
            const PostedEvent e = state().events.front();
            state().events.pop_front();
            dispatch(e);
        }
    }
    return state().quitCode;
}

int QuitUserInterface(int returnCode) {
    state().quit = true;
    state().quitCode = returnCode;
    if (state().view != nullptr) state().view->quitEventLoop();
    return 0;
}

int ProcessSystemEvents() {
    uis_DispatchEvents();
    if (state().view != nullptr) state().view->processEvents();
    return 0;
}

int uis_DispatchEvents() {
    size_t budget = state().events.size();
    int dispatched = 0;
    while (budget > 0 && !state().events.empty()) {
        const PostedEvent e = state().events.front();
        state().events.pop_front();
        budget--;
        dispatch(e);
        dispatched++;
    }
    return dispatched;
}

size_t uis_PendingEvents() {
    return state().events.size();
}
bool uis_QuitRequested() {
    return state().quit;
}

// --- Controls ----------------------------------------------------------------------------------

int GetCtrlVal(int panel, int control, int* value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (value == nullptr) return UIE_TYPE;
    if (isList(*c)) {
        if (c->index < 0 || c->index >= static_cast<int>(c->items.size())) return UIE_INDEX;
        *value = c->items[c->index].value;
        return 0;
    }
    if (!holdsInt(*c)) return UIE_TYPE;
    *value = c->intValue;
    return 0;
}

int GetCtrlVal(int panel, int control, char* text, size_t size) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (holdsText(*c))
        copyText(c->text, text, size);
    else if (uis_HoldsLines(c->kind))
        copyText(uis_JoinLines(c->lines), text, size);
    else if (isList(*c) && c->index >= 0 && c->index < static_cast<int>(c->items.size()))
        copyText(c->items[c->index].label, text, size);
    else
        return UIE_TYPE;
    return 0;
}

int SetCtrlVal(int panel, int control, int value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (isList(*c)) {
        for (size_t i = 0; i < c->items.size(); i++) {
            if (c->items[i].value == value) {
                c->index = static_cast<int>(i);
                changed(panel, control);
                return 0;
            }
        }
        return UIE_INDEX;
    }
    if (!holdsInt(*c) || c->kind == UI_BUTTON) return UIE_TYPE;
    c->intValue = c->kind == UI_LED ? (value != 0) : value;
    changed(panel, control);
    return 0;
}

int SetCtrlVal(int panel, int control, const char* text) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    const std::string t = text != nullptr ? text : "";
    if (holdsText(*c)) {
        c->text = t;
    } else if (uis_HoldsLines(c->kind)) {
        // A text box collects what it is given: the text's lines are appended.
        for (const std::string& line : uis_SplitLines(t))
            c->lines.push_back(line);
    } else {
        return UIE_TYPE;
    }
    changed(panel, control);
    return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (attribute == ATTR_LABEL_TEXT || attribute == ATTR_ON_TEXT) return UIE_TYPE;
    if (attribute != ATTR_DIMMED) return UIE_ATTRIBUTE;
    c->dimmed = value != 0;
    changed(panel, control);
    return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* text) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    const std::string t = text != nullptr ? text : "";
    if (attribute == ATTR_LABEL_TEXT)
        c->label = t;
    else if (attribute == ATTR_ON_TEXT)
        c->onText = t;
    else if (attribute == ATTR_DIMMED)
        return UIE_TYPE;
    else
        return UIE_ATTRIBUTE;
    changed(panel, control);
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (attribute == ATTR_LABEL_TEXT || attribute == ATTR_ON_TEXT || value == nullptr)
        return UIE_TYPE;
    if (attribute != ATTR_DIMMED) return UIE_ATTRIBUTE;
    *value = c->dimmed ? 1 : 0;
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, char* text, size_t size) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (attribute == ATTR_LABEL_TEXT)
        copyText(c->label, text, size);
    else if (attribute == ATTR_ON_TEXT)
        copyText(c->onText, text, size);
    else if (attribute == ATTR_DIMMED)
        return UIE_TYPE;
    else
        return UIE_ATTRIBUTE;
    return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c)) return UIE_TYPE;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_INDEX;
    c->index = index;
    changed(panel, control);
    return 0;
}

int GetCtrlIndex(int panel, int control, int* index) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c) || index == nullptr) return UIE_TYPE;
    *index = c->index;
    return 0;
}

int InsertListItem(int panel, int control, int index, const char* label, int value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c)) return UIE_TYPE;
    if (index < -1) return UIE_INDEX;
    const int count = static_cast<int>(c->items.size());
    // -1, or an index past the end, appends.
    const int at = (index == -1 || index > count) ? count : index;
    c->items.insert(c->items.begin() + at, UiListItem{label != nullptr ? label : "", value});
    if (c->index < 0)
        c->index = 0;
    else if (at <= c->index) // the selection stays on its item
        c->index++;
    const std::string inserted = c->items[at].label;
    const bool listBox = c->kind == UI_LISTBOX;
    changed(panel, control);
    if (listBox && state().listObserver) state().listObserver(panel, control, inserted.c_str());
    return 0;
}

int ReplaceListItem(int panel, int control, int index, const char* label, int value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c)) return UIE_TYPE;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_INDEX;
    c->items[index] = UiListItem{label != nullptr ? label : "", value};
    changed(panel, control);
    return 0;
}

int ClearListCtrl(int panel, int control) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c)) return UIE_TYPE;
    c->items.clear();
    c->index = -1;
    changed(panel, control);
    return 0;
}

int GetNumListItems(int panel, int control, int* count) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c) || count == nullptr) return UIE_TYPE;
    *count = static_cast<int>(c->items.size());
    return 0;
}

int GetLabelFromIndex(int panel, int control, int index, char* text, size_t size) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c)) return UIE_TYPE;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_INDEX;
    copyText(c->items[index].label, text, size);
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, int* value) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!isList(*c) || value == nullptr) return UIE_TYPE;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_INDEX;
    *value = c->items[index].value;
    return 0;
}

int ResetTextBox(int panel, int control, const char* text) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!uis_HoldsLines(c->kind)) return UIE_TYPE;
    c->lines = uis_SplitLines(text != nullptr ? text : "");
    changed(panel, control);
    return 0;
}

int InsertTextBoxLine(int panel, int control, int line, const char* text) {
    int err = 0;
    UiControl* c = lookup(panel, control, err);
    if (c == nullptr) return err;
    if (!uis_HoldsLines(c->kind)) return UIE_TYPE;
    if (line < -1) return UIE_INDEX;
    const int count = static_cast<int>(c->lines.size());
    const int at = (line == -1 || line > count) ? count : line;
    c->lines.insert(c->lines.begin() + at, text != nullptr ? text : "");
    changed(panel, control);
    return 0;
}

// --- Pop-ups -----------------------------------------------------------------------------------

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, const char* buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* path, size_t pathSize) {
    (void)fileTypeList;
    (void)buttonLabel;
    (void)restrictDirectory;
    (void)restrictExtension;
    (void)allowCancel;
    (void)allowMakeDirectory;
    UiFileRequest request{defaultDirectory != nullptr ? defaultDirectory : "",
                          defaultFileSpec != nullptr ? defaultFileSpec : "",
                          title != nullptr ? title : "", buttonLabel != nullptr ? buttonLabel : ""};
    state().fileRequests.push_back(request);
    int status = VAL_NO_FILE_SELECTED;
    std::string chosen;
    if (state().view != nullptr) {
        status = state().view->fileSelect(request.defaultDirectory.c_str(),
                                          request.fileType.c_str(), request.title.c_str(), chosen);
    } else if (!state().fileAnswers.empty()) {
        status = state().fileAnswers.front().status;
        chosen = state().fileAnswers.front().path;
        state().fileAnswers.pop_front();
    }
    // On cancel the caller's buffer is left as it was. A path that does not fit the caller's
    // buffer would name another file once cut: it is refused like a cancel, with a notice.
    if (status > 0 && (path == nullptr || chosen.size() >= pathSize)) {
        MessagePopup("File selection", "The path of the chosen file is too long");
        return VAL_NO_FILE_SELECTED;
    }
    if (status > 0) copyText(chosen, path, pathSize);
    return status;
}

int MessagePopup(const char* title, const char* message) {
    UiMessage m{title != nullptr ? title : "", message != nullptr ? message : ""};
    state().messages.push_back(m);
    if (state().view != nullptr) state().view->message(m.title.c_str(), m.text.c_str());
    return 0;
}

// --- Backend side ------------------------------------------------------------------------------

const UiPanel* uis_Panel(int panel) {
    return panelOf(panel);
}
const UiMenuBar* uis_MenuBar(int menuBar) {
    return menuBarOf(menuBar);
}
const UiControl* uis_Control(int panel, int control) {
    return controlOf(panelOf(panel), control);
}

std::vector<int> uis_LivePanels() {
    std::vector<int> out;
    for (const auto& [h, p] : state().panels)
        out.push_back(h);
    return out;
}

int uis_FindPanel(const char* layoutFile, int panelResource) {
    const std::string name = baseName(layoutFile != nullptr ? layoutFile : "");
    int found = 0;
    for (const auto& [h, p] : state().panels) {
        if (p.resource == panelResource && baseName(p.layoutFile) == name) found = h;
    }
    return found;
}

int uis_CountPanels(const char* layoutFile, int panelResource) {
    const std::string name = baseName(layoutFile != nullptr ? layoutFile : "");
    int count = 0;
    for (const auto& [h, p] : state().panels) {
        if (p.resource == panelResource && baseName(p.layoutFile) == name) count++;
    }
    return count;
}

int uis_FindControlByCallback(int panel, const char* callbackName) {
    UiPanel* p = panelOf(panel);
    if (p == nullptr || callbackName == nullptr) return UIE_BAD_CONTROL;
    for (const UiControl& c : p->controls) {
        if (c.callback == callbackName) return c.id;
    }
    return UIE_BAD_CONTROL;
}

int uis_FindMenuItemByCallback(int menuBar, const char* callbackName) {
    UiMenuBar* m = menuBarOf(menuBar);
    if (m == nullptr || callbackName == nullptr) return UIE_BAD_CONTROL;
    for (const UiMenu& menu : m->menus) {
        for (const UiMenuItem& it : menu.items) {
            if (!it.separator && it.callback == callbackName) return it.id;
        }
    }
    return UIE_BAD_CONTROL;
}

std::string uis_ControlText(int panel, int control) {
    const UiControl* c = controlOf(panelOf(panel), control);
    if (c == nullptr) return "";
    if (holdsText(*c)) return c->text;
    if (uis_HoldsLines(c->kind)) return uis_JoinLines(c->lines);
    if (isList(*c) && c->index >= 0 && c->index < static_cast<int>(c->items.size()))
        return c->items[c->index].label;
    return "";
}

int uis_OperateCommit(int panel, int control) {
    const int rc = controlActionAllowed(panel, control);
    if (rc != 0) return rc;
    state().events.push_back({EV_CONTROL, panel, control, EVENT_COMMIT});
    return 0;
}

int uis_OperateSetValue(int panel, int control, int value) {
    const int rc = controlActionAllowed(panel, control);
    if (rc != 0) return rc;
    UiControl* c = controlOf(panelOf(panel), control);
    if (!isList(*c) && c->kind != UI_NUMERIC) return UIE_TYPE;
    const int set = SetCtrlVal(panel, control, value);
    if (set != 0) return set;
    state().events.push_back({EV_CONTROL, panel, control, EVENT_VAL_CHANGED});
    return 0;
}

int uis_OperateSetText(int panel, int control, const char* text) {
    const int rc = controlActionAllowed(panel, control);
    if (rc != 0) return rc;
    UiControl* c = controlOf(panelOf(panel), control);
    if (c->kind != UI_STRING) return UIE_TYPE;
    SetCtrlVal(panel, control, text);
    state().events.push_back({EV_CONTROL, panel, control, EVENT_VAL_CHANGED});
    return 0;
}

int uis_OperateMenuItem(int menuBar, int menuItem) {
    const int rc = menuActionAllowed(menuBar, menuItem);
    if (rc != 0) return rc;
    state().events.push_back({EV_MENU, menuBar, menuItem, 0});
    return 0;
}

int uis_OperateClose(int panel) {
    UiPanel* p = panelOf(panel);
    if (p == nullptr) return UIE_BAD_HANDLE;
    if (p->closeCallback.empty()) return UIE_BAD_CONTROL;
    state().events.push_back({EV_CLOSE, panel, 0, EVENT_CLOSE});
    return 0;
}

void uis_PushFileAnswer(const char* path, int status) {
    state().fileAnswers.push_back({path != nullptr ? path : "", status});
}

const std::vector<UiFileRequest>& uis_FileRequests() {
    return state().fileRequests;
}
const std::vector<UiMessage>& uis_Messages() {
    return state().messages;
}
void uis_ClearMessages() {
    state().messages.clear();
}

void uis_SetListObserver(UiListObserver observer) {
    state().listObserver = std::move(observer);
}

void uis_SetView(UiView* view) {
    state().view = view;
}

void uis_SetViewOfLivePanels(UiView* view, bool (*shown)(const UiView* view, int panel)) {
    uis_SetView(view);
    for (int panel : uis_LivePanels()) {
        if (shown(view, panel)) continue;
        view->panelLoaded(panel);
        const UiPanel* p = uis_Panel(panel);
        if (p != nullptr && p->menuBar != 0) view->menuBarLoaded(p->menuBar, panel);
        if (p != nullptr && p->visible) view->panelDisplayed(panel);
    }
}

void uis_Reset() {
    std::vector<int> handles = uis_LivePanels();
    for (int h : handles)
        discardPanelInternal(h);
    std::vector<int> bars;
    for (const auto& [h, m] : state().menuBars)
        bars.push_back(h);
    for (int h : bars)
        discardMenuBarInternal(h);
    state().events.clear();
    state().fileAnswers.clear();
    state().fileRequests.clear();
    state().messages.clear();
    state().quit = false;
    state().quitCode = 0;
    state().listObserver = nullptr;
    state().lastError.clear();
}

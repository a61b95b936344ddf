// The headless user-interface services: panel instances, controls, operator actions, the event
// queue, pop-ups and the view notifications.
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kLayout =
    "panel 1 \"Main\" 400 300 close=onClose\n"
    "  button 2 \"Go\" 0 0 50 20 callback=onGo\n"
    "  ring 3 \"Speed\" 0 30 50 20 callback=onRing items=\"slow:5|fast:9\"\n"
    "  listbox 4 \"Log\" 0 60 100 100\n"
    "  textbox 5 \"Path\" 0 170 100 40\n"
    "  numeric 6 \"Size\" 0 220 50 20\n"
    "  textmsg 7 \"Time\" 0 250 50 20 value=\"idle\"\n"
    "  led 8 \" Flash \" 200 0 50 20\n"
    "  button 9 \"Off\" 200 30 50 20 callback=onGo dimmed=1\n"
    "panel 2 \"Window\" 200 100\n"
    "  textmsg 3 \"\" 0 0 100 20 value=\"default\"\n"
    "  button 2 \"OK\" 0 50 50 20 callback=onOk\n"
    "menubar 1\n"
    "  menu \"File\"\n"
    "    item 1 \"Save\" callback=onSave\n"
    "    item 2 \"Quit\" callback=onQuit\n";

struct Call {
    int panel;
    int control;
    int event;
};
std::vector<Call> g_calls;
std::vector<int> g_menuCalls;
int g_okDiscards = 0;

int onGo(int panel, int control, int event, void*, int, int) {
    g_calls.push_back({panel, control, event});
    return 0;
}
int onRing(int panel, int control, int event, void*, int, int) {
    g_calls.push_back({panel, control, event});
    return 0;
}
int onClose(int panel, int control, int event, void*, int, int) {
    g_calls.push_back({panel, control, event});
    return 0;
}
int onOk(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        DiscardPanel(panel);
        g_okDiscards++;
    }
    return 0;
}
void onSave(int, int item, void*, int) {
    g_menuCalls.push_back(item);
}
void onQuit(int, int item, void*, int) {
    g_menuCalls.push_back(item);
    QuitUserInterface(7);
}

const CallbackBinding kBindings[] = {
    {"onGo", onGo, nullptr}, {"onRing", onRing, nullptr}, {"onClose", onClose, nullptr},
    {"onOk", onOk, nullptr}, {"onSave", nullptr, onSave}, {"onQuit", nullptr, onQuit},
};

class UisServices : public ::testing::Test {
  protected:
    void SetUp() override {
        uis_Reset();
        uis_SetCallbackTable(kBindings, sizeof kBindings / sizeof kBindings[0]);
        testsupport::writeBytes(dir.file("test.uir"), std::string(kLayout));
        uis_SetLayoutDirectory(dir.path().c_str());
        g_calls.clear();
        g_menuCalls.clear();
        g_okDiscards = 0;
    }
    void TearDown() override {
        uis_Reset();
        uis_SetView(nullptr);
        uis_SetLayoutDirectory(nullptr);
        uis_SetCallbackTable(nullptr, 0);
    }
    testsupport::TempDir dir;
};

TEST_F(UisServices, EachLoadIsANewInstanceAndHandlesAreNeverReused) {
    const int a = LoadPanel(0, "test.uir", 2);
    const int b = LoadPanel(0, "test.uir", 2);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(uis_CountPanels("test.uir", 2), 2);
    EXPECT_EQ(uis_FindPanel("test.uir", 2), b);
    EXPECT_EQ(SetCtrlVal(a, 3, "changed"), 0);
    EXPECT_EQ(uis_ControlText(b, 3), "default");
    EXPECT_EQ(DiscardPanel(b), 0);
    EXPECT_EQ(uis_FindPanel("test.uir", 2), a);
    const int c = LoadPanel(0, "test.uir", 2);
    EXPECT_NE(c, b);
    uis_Reset();
    const int d = LoadPanel(0, "test.uir", 2);
    EXPECT_GT(d, c);
    EXPECT_EQ(DiscardPanel(b), UIE_BAD_HANDLE);
    EXPECT_EQ(SetCtrlVal(b, 3, "x"), UIE_BAD_HANDLE);
}

TEST_F(UisServices, LoadFailuresAreReported) {
    EXPECT_EQ(LoadPanel(0, "missing.uir", 1), UIE_FILE);
    EXPECT_EQ(LoadPanel(0, "test.uir", 5), UIE_RESOURCE);
    EXPECT_EQ(uis_LastError(), "no panel 5");
    EXPECT_EQ(LoadPanel(12345, "test.uir", 1), UIE_BAD_HANDLE);
    const int p = LoadPanel(0, "test.uir", 1);
    EXPECT_EQ(LoadMenuBar(p, "test.uir", 99), UIE_RESOURCE);
    EXPECT_EQ(uis_LastError(), "no menu bar 99");
    const CallbackBinding noQuit[] = {{"onSave", nullptr, onSave}};
    uis_SetCallbackTable(noQuit, 1);
    EXPECT_EQ(LoadMenuBar(p, "test.uir", 1), UIE_CALLBACK);
    EXPECT_EQ(uis_LastError(), "callback not bound: onQuit");
    DiscardPanel(p);
    const CallbackBinding partial[] = {{"onGo", onGo, nullptr}, {"onClose", onClose, nullptr}};
    uis_SetCallbackTable(partial, 2);
    EXPECT_EQ(LoadPanel(0, "test.uir", 1), UIE_CALLBACK);
    EXPECT_EQ(uis_LastError(), "callback not bound: onRing");
    const CallbackBinding noClose[] = {{"onGo", onGo, nullptr}};
    uis_SetCallbackTable(noClose, 1);
    EXPECT_EQ(LoadPanel(0, "test.uir", 1), UIE_CALLBACK);
    EXPECT_EQ(uis_LastError(), "callback not bound: onClose");
    // A control name bound only as a menu callback does not count.
    const CallbackBinding wrongKind[] = {{"onOk", nullptr, onSave}};
    uis_SetCallbackTable(wrongKind, 1);
    EXPECT_EQ(LoadPanel(0, "test.uir", 2), UIE_CALLBACK);
    EXPECT_TRUE(uis_LivePanels().empty());
    // A success says nothing of the failure before it.
    std::vector<std::string> names;
    EXPECT_EQ(uis_LayoutCallbackNames("test.uir", names), 0);
    EXPECT_EQ(uis_LastError(), "");
}

TEST_F(UisServices, ControlValuesAndAttributes) {
    const int p = LoadPanel(0, "test.uir", 1);
    ASSERT_GT(p, 0);
    int v = -1;
    EXPECT_EQ(GetCtrlVal(p, 3, &v), 0);
    EXPECT_EQ(v, 5); // first item
    EXPECT_EQ(SetCtrlVal(p, 3, 9), 0);
    EXPECT_EQ(GetCtrlVal(p, 3, &v), 0);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(uis_ControlText(p, 3), "fast");
    EXPECT_EQ(SetCtrlVal(p, 3, 7), UIE_INDEX);
    EXPECT_EQ(SetCtrlVal(p, 6, 1001), 0);
    EXPECT_EQ(GetCtrlVal(p, 6, &v), 0);
    EXPECT_EQ(v, 1001);
    EXPECT_EQ(SetCtrlVal(p, 6, "text"), UIE_TYPE);
    EXPECT_EQ(SetCtrlVal(p, 7, 3), UIE_TYPE);
    EXPECT_EQ(SetCtrlVal(p, 99, 3), UIE_BAD_CONTROL);

    char small[4];
    EXPECT_EQ(GetCtrlVal(p, 7, small, sizeof small), 0);
    EXPECT_STREQ(small, "idl"); // cut, never overflowed

    EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_LABEL_TEXT, " Flash AM29"), 0);
    EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_ON_TEXT, "on"), 0);
    EXPECT_EQ(SetCtrlVal(p, 8, 1), 0);
    char text[32];
    EXPECT_EQ(GetCtrlAttribute(p, 8, ATTR_LABEL_TEXT, text, sizeof text), 0);
    EXPECT_STREQ(text, " Flash AM29");
    EXPECT_EQ(uis_Control(p, 8)->onText, "on");
    EXPECT_EQ(SetCtrlAttribute(p, 2, ATTR_DIMMED, 1), 0);
    EXPECT_EQ(GetCtrlAttribute(p, 2, ATTR_DIMMED, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetCtrlAttribute(p, 2, ATTR_DIMMED, "1"), UIE_TYPE);
    EXPECT_EQ(SetCtrlAttribute(p, 2, 1234, 1), UIE_ATTRIBUTE);
}

TEST_F(UisServices, ListAndTextBoxContent) {
    const int p = LoadPanel(0, "test.uir", 1);
    EXPECT_EQ(InsertListItem(p, 4, 0, "first", 0), 0);
    EXPECT_EQ(InsertListItem(p, 4, 1, "second", 0), 0);
    EXPECT_EQ(InsertListItem(p, 4, 10, "past the end", 0), 0); // appended
    EXPECT_EQ(InsertListItem(p, 4, -1, "appended", 0), 0);
    EXPECT_EQ(InsertListItem(p, 4, -2, "bad", 0), UIE_INDEX);
    int count = 0;
    EXPECT_EQ(GetNumListItems(p, 4, &count), 0);
    EXPECT_EQ(count, 4);
    char label[16];
    EXPECT_EQ(GetLabelFromIndex(p, 4, 2, label, sizeof label), 0);
    EXPECT_STREQ(label, "past the end");
    EXPECT_EQ(GetLabelFromIndex(p, 4, 4, label, sizeof label), UIE_INDEX);
    EXPECT_EQ(SetCtrlIndex(p, 4, 3), 0);
    EXPECT_EQ(SetCtrlIndex(p, 4, 4), UIE_INDEX);
    int index = -1;
    EXPECT_EQ(GetCtrlIndex(p, 4, &index), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(InsertListItem(p, 2, 0, "x", 0), UIE_TYPE);
    // An item put before the selected one leaves the selection on the same item.
    const int q = LoadPanel(0, "test.uir", 1);
    EXPECT_EQ(InsertListItem(q, 4, -1, "chosen", 0), 0);
    EXPECT_EQ(InsertListItem(q, 4, 0, "before", 0), 0);
    EXPECT_EQ(GetCtrlIndex(q, 4, &index), 0);
    EXPECT_EQ(index, 1);

    EXPECT_EQ(ResetTextBox(p, 5, ""), 0);
    EXPECT_TRUE(uis_Control(p, 5)->lines.empty());
    EXPECT_EQ(InsertTextBoxLine(p, 5, 0, "c:/images/a.bin"), 0);
    EXPECT_EQ(uis_ControlText(p, 5), "c:/images/a.bin");
    EXPECT_EQ(InsertTextBoxLine(p, 5, 0, "top"), 0);
    EXPECT_EQ(uis_Control(p, 5)->lines, (std::vector<std::string>{"top", "c:/images/a.bin"}));
    EXPECT_EQ(ResetTextBox(p, 5, "one"), 0);
    EXPECT_EQ(uis_Control(p, 5)->lines, (std::vector<std::string>{"one"}));
    EXPECT_EQ(ResetTextBox(p, 4, ""), UIE_TYPE);
}

TEST_F(UisServices, OperatorActionsRunThroughTheQueue) {
    const int p = LoadPanel(0, "test.uir", 1);
    EXPECT_EQ(uis_OperateCommit(p, 2), 0);
    EXPECT_EQ(uis_OperateSetValue(p, 3, 9), 0);
    EXPECT_TRUE(g_calls.empty()); // nothing runs before the loop
    EXPECT_EQ(uis_PendingEvents(), 2u);
    int v = 0;
    GetCtrlVal(p, 3, &v);
    EXPECT_EQ(v, 9); // the value is there at once
    ProcessSystemEvents();
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].control, 2);
    EXPECT_EQ(g_calls[0].event, EVENT_COMMIT);
    EXPECT_EQ(g_calls[1].control, 3);
    EXPECT_EQ(g_calls[1].event, EVENT_VAL_CHANGED);
    EXPECT_EQ(uis_PendingEvents(), 0u);
    EXPECT_EQ(uis_OperateSetValue(p, 3, 4), UIE_INDEX);
    EXPECT_EQ(uis_OperateSetValue(p, 7, 4), UIE_TYPE);
    EXPECT_EQ(uis_OperateClose(p), 0);
    ProcessSystemEvents();
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[2].control, 0);
    EXPECT_EQ(g_calls[2].event, EVENT_CLOSE);
}

TEST_F(UisServices, DimmedControlsAndDiscardedPanelsIgnoreTheOperator) {
    const int p = LoadPanel(0, "test.uir", 1);
    EXPECT_EQ(uis_OperateCommit(p, 9), UIE_DIMMED); // dimmed in the layout
    EXPECT_EQ(uis_OperateCommit(p, 2), 0);
    SetCtrlAttribute(p, 2, ATTR_DIMMED, 1); // dimmed before the event is dispatched
    EXPECT_EQ(uis_OperateCommit(p, 2), UIE_DIMMED);
    EXPECT_EQ(uis_OperateSetValue(p, 3, 9), 0);
    DiscardPanel(p);
    ProcessSystemEvents();
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(uis_OperateCommit(p, 2), UIE_BAD_HANDLE);
    EXPECT_EQ(uis_OperateCommit(LoadPanel(0, "test.uir", 1), 42), UIE_BAD_CONTROL);
}

TEST_F(UisServices, MenuBarBelongsToItsPanel) {
    const int p = LoadPanel(0, "test.uir", 1);
    const int m = LoadMenuBar(p, "test.uir", 1);
    ASSERT_GT(m, 0);
    EXPECT_EQ(uis_Panel(p)->menuBar, m);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "onSave"), 1);
    EXPECT_EQ(uis_FindMenuItemByCallback(m, "nothing"), UIE_BAD_CONTROL);
    EXPECT_EQ(uis_OperateMenuItem(m, 1), 0);
    ProcessSystemEvents();
    EXPECT_EQ(g_menuCalls, std::vector<int>{1});

    // A queued choice is dropped when the menu bar goes before it is dispatched.
    EXPECT_EQ(uis_OperateMenuItem(m, 1), 0);
    EXPECT_EQ(DiscardMenuBar(m), 0);
    ProcessSystemEvents();
    EXPECT_EQ(g_menuCalls.size(), 1u);
    EXPECT_EQ(uis_OperateMenuItem(m, 1), UIE_BAD_HANDLE);
    EXPECT_EQ(uis_Panel(p)->menuBar, 0);

    // Loading again replaces: the panel never carries two menu bars.
    const int m2 = LoadMenuBar(p, "test.uir", 1);
    const int m3 = LoadMenuBar(p, "test.uir", 1);
    EXPECT_EQ(uis_MenuBar(m2), nullptr);
    EXPECT_EQ(uis_Panel(p)->menuBar, m3);
    EXPECT_EQ(uis_OperateMenuItem(m3, 9), UIE_BAD_CONTROL);
    DiscardPanel(p);
    EXPECT_EQ(uis_MenuBar(m3), nullptr);
    EXPECT_EQ(LoadMenuBar(p, "test.uir", 1), UIE_BAD_HANDLE);
    EXPECT_EQ(LoadMenuBar(LoadPanel(0, "test.uir", 1), "test.uir", 2), UIE_RESOURCE);
}

TEST_F(UisServices, RunUserInterfaceEndsOnQuitOrWhenNothingIsLeft) {
    EXPECT_EQ(RunUserInterface(), 0); // empty queue: returns, never hangs
    const int p = LoadPanel(0, "test.uir", 1);
    const int m = LoadMenuBar(p, "test.uir", 1);
    uis_OperateCommit(p, 2);
    uis_OperateMenuItem(m, 2); // quit with 7
    uis_OperateCommit(p, 2);   // after the quit: stays queued
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_TRUE(uis_QuitRequested());
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(uis_PendingEvents(), 1u);
    EXPECT_EQ(RunUserInterface(), 0);
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(UisServices, WindowButtonCanDiscardItsOwnPanel) {
    const int w = LoadPanel(0, "test.uir", 2);
    DisplayPanel(w);
    EXPECT_TRUE(uis_Panel(w)->visible);
    const int ok = uis_FindControlByCallback(w, "onOk");
    ASSERT_EQ(ok, 2);
    uis_OperateCommit(w, ok);
    uis_OperateCommit(w, ok); // the second press finds the window gone
    ProcessSystemEvents();
    EXPECT_EQ(g_okDiscards, 1);
    EXPECT_EQ(uis_Panel(w), nullptr);
}

TEST_F(UisServices, ChildPanelsGoWithTheirParent) {
    const int parent = LoadPanel(0, "test.uir", 1);
    const int child = LoadPanel(parent, "test.uir", 2);
    ASSERT_GT(child, 0);
    DiscardPanel(parent);
    EXPECT_EQ(uis_Panel(child), nullptr);
}

TEST_F(UisServices, PopupsAnswerFromTheQueueAndAreRecorded) {
    char path[8] = "keep";
    EXPECT_EQ(FileSelectPopup("c:/images", "*.bin", "", "select bin file", "Load", 0, 0, 1, 0, path,
                              sizeof path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "keep");     // a cancel leaves the buffer alone
    uis_PushFileAnswer("/tmp/abc"); // 8 characters: no room left for the terminating NUL
    EXPECT_EQ(FileSelectPopup("c:/images", "*.bin", "", "select bin file", "Load", 0, 0, 1, 0, path,
                              sizeof path),
              VAL_NO_FILE_SELECTED); // a path cut to the buffer would name another file
    EXPECT_STREQ(path, "keep");
    ASSERT_EQ(uis_Messages().size(), 1u);
    EXPECT_EQ(uis_Messages()[0].title, "File selection");
    EXPECT_EQ(uis_Messages()[0].text, "The path of the chosen file is too long");
    uis_ClearMessages();
    uis_PushFileAnswer("/tmp/ab");
    EXPECT_EQ(FileSelectPopup("c:/images", "*.bin", "", "select bin file", "Load", 0, 0, 1, 0, path,
                              sizeof path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_STREQ(path, "/tmp/ab");
    ASSERT_EQ(uis_FileRequests().size(), 3u);
    EXPECT_EQ(uis_FileRequests()[1].title, "select bin file");
    EXPECT_EQ(uis_FileRequests()[1].fileType, "*.bin");
    EXPECT_EQ(uis_FileRequests()[1].defaultDirectory, "c:/images");

    MessagePopup("DOWNLOAD", "Please load a cla file before start");
    ASSERT_EQ(uis_Messages().size(), 1u);
    EXPECT_EQ(uis_Messages()[0].title, "DOWNLOAD");
    EXPECT_EQ(uis_Messages()[0].text, "Please load a cla file before start");
    uis_ClearMessages();
    EXPECT_TRUE(uis_Messages().empty());
}

TEST_F(UisServices, ListObserverSeesListBoxInsertsOnly) {
    std::vector<std::string> seen;
    uis_SetListObserver([&seen](int, int control, const char* label) {
        seen.push_back(std::to_string(control) + ":" + label);
    });
    const int p = LoadPanel(0, "test.uir", 1);
    InsertListItem(p, 4, -1, "line", 0);
    InsertListItem(p, 3, -1, "ring item", 0);
    EXPECT_EQ(seen, std::vector<std::string>{"4:line"});
    uis_Reset();
    EXPECT_EQ(InsertListItem(LoadPanel(0, "test.uir", 1), 4, -1, "after reset", 0), 0);
    EXPECT_EQ(seen.size(), 1u); // the reset removed the observer
}

class RecordingView : public UiView {
  public:
    std::vector<std::string> log;
    int processed = 0;
    void panelLoaded(int) override { log.push_back("loaded"); }
    void panelDisplayed(int) override { log.push_back("displayed"); }
    void panelHidden(int) override { log.push_back("hidden"); }
    void panelDiscarded(int) override { log.push_back("discarded"); }
    void menuBarLoaded(int, int) override { log.push_back("menu loaded"); }
    void menuBarDiscarded(int, int) override { log.push_back("menu discarded"); }
    void controlChanged(int, int control) override {
        log.push_back("changed " + std::to_string(control));
    }
    void processEvents() override { processed++; }
    void runEventLoop() override {
        while (!uis_QuitRequested() && uis_DispatchEvents() > 0) {
        }
    }
    void quitEventLoop() override { log.push_back("quit"); }
    int fileSelect(const char*, const char*, const char*, std::string& path) override {
        path = "/from/view.bin";
        return VAL_EXISTING_FILE_SELECTED;
    }
    void message(const char* title, const char*) override {
        log.push_back(std::string("message ") + title);
    }
};

TEST_F(UisServices, ViewIsToldOfEveryChange) {
    RecordingView view;
    uis_SetView(&view);
    const int p = LoadPanel(0, "test.uir", 1);
    DisplayPanel(p);
    const int m = LoadMenuBar(p, "test.uir", 1);
    SetCtrlVal(p, 6, 3);
    SetCtrlAttribute(p, 2, ATTR_DIMMED, 1);
    HidePanel(p);
    MessagePopup("Help", "text");
    ProcessSystemEvents();
    EXPECT_EQ(view.processed, 1);
    uis_OperateMenuItem(m, 2);
    EXPECT_EQ(RunUserInterface(), 7);
    DiscardPanel(p);
    const std::vector<std::string> expected = {
        "loaded", "displayed",    "menu loaded", "changed 6",      "changed 2",
        "hidden", "message Help", "quit",        "menu discarded", "discarded"};
    EXPECT_EQ(view.log, expected);
    char path[64] = "";
    EXPECT_EQ(
        FileSelectPopup("", "*.ogm", "", "select ogm file", "Load", 0, 0, 1, 0, path, sizeof path),
        VAL_EXISTING_FILE_SELECTED);
    EXPECT_STREQ(path, "/from/view.bin");
}

} // namespace

// The Win32 view of the user-interface services on a layout of its own: every control kind as
// its system control at the layout's place, state changes reaching the controls, operator
// actions reaching the callbacks from the message loop, the menu bar, the windows, the pop-ups
// (answered by the test), dropped files and the waits on the line.
#include "flash/dwl10sectormap.h"
#include "link/serial_device.h"
#include "platform/windows/gui/win32_port_picker.h"
#include "platform/windows/gui/win32_sector_map.h"
#include "platform/windows/gui/win32_view.h"
#include "platform/windows/gui/win32_wait.h"
#include "tests/support/temp_files.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Call {
    int panel, control, event;
};
std::vector<Call> calls;
std::vector<int> menuCalls;

int recordCtrl(int panel, int control, int event, void*, int, int) {
    calls.push_back({panel, control, event});
    return 0;
}
void recordMenu(int, int item, void*, int) {
    menuCalls.push_back(item);
}

const CallbackBinding kBindings[] = {
    {"t_ctrl", recordCtrl, nullptr},
    {"t_close", recordCtrl, nullptr},
    {"t_menu", nullptr, recordMenu},
};

const std::vector<std::string> kLayout = {
    "panel 1 \"View test\" 400 300 close=t_close",
    "  ring 1 \"Ring\" 10 20 120 24 callback=t_ctrl items=\"A:10|B:20|C:30\" value=20",
    "  button 2 \"Press\" 10 60 80 28 callback=t_ctrl",
    "  textbox 3 \"Path\" 140 20 200 40",
    "  numeric 4 \"Size\" 140 80 80 24",
    "  string 5 \"Entry\" 230 80 100 24 callback=t_ctrl",
    "  textmsg 6 \"Caption\" 10 100 200 20 value=\"hello\"",
    "  led 7 \" Flash \" 10 130 150 20",
    "  listbox 8 \"Log\" 10 170 200 100",
    "  progress 9 \"Progress\" 220 170 150 20",
    "  button 10 \"Dim\" 220 200 80 28 callback=t_ctrl dimmed=1",
    "  numeric 11 \"Sum\" 220 240 80 24 unsigned=1",
    "panel 2 \"Result\" 200 100",
    "  textmsg 3 \"\" 10 10 180 40 value=\"Done\"",
    "  button 2 \"OK\" 60 60 80 28 callback=t_ctrl",
    "menubar 1",
    "  menu \"File\"",
    "    item 1 \"Quit\" callback=t_menu",
    "    separator",
    "    item 2 \"Other\" callback=t_menu",
};

std::string className(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return win32_Utf8(name);
}

std::string comboText(HWND combo, int index) {
    wchar_t text[256] = L"";
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return win32_Utf8(text);
}

std::string listText(HWND list, int index) {
    wchar_t text[1024] = L"";
    SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return win32_Utf8(text);
}

// Where a control lies in its window's client area.
RECT placeOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class Win32View : public ::testing::Test {
  protected:
    void SetUp() override {
        uis_Reset();
        calls.clear();
        menuCalls.clear();
        testsupport::writeCrLfFile(dir.file("view.uir"), kLayout);
        uis_SetLayoutDirectory(dir.path().c_str());
        uis_SetCallbackTable(kBindings, sizeof kBindings / sizeof kBindings[0]);
        view.install();
        view.setPopupAnswers(
            [this](const std::string& title, const std::string& text) {
                messages.push_back(title + ": " + text);
            },
            [this](const Win32FileDialog& d, std::string& path) {
                dialogs.push_back(d);
                path = answerPath;
                return answerPath.empty() ? VAL_NO_FILE_SELECTED : VAL_EXISTING_FILE_SELECTED;
            });
        panel = LoadPanel(0, "view.uir", 1);
        ASSERT_GT(panel, 0) << uis_LastError();
        DisplayPanel(panel);
        pump();
    }
    void TearDown() override {
        uis_Reset();
        uis_SetView(nullptr);
        uis_SetLayoutDirectory(nullptr);
        pump();
    }
    void pump() {
        for (int i = 0; i < 3; i++)
            view.processEvents();
    }
    HWND control(int id, int p = 0) { return view.controlWindow(p != 0 ? p : panel, id); }
    int scaled(int v) {
        HDC dc = GetDC(view.window(panel));
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(view.window(panel), dc);
        return MulDiv(v, dpi, 96);
    }

    testsupport::TempDir dir;
    Win32UiView view;
    int panel = 0;
    std::vector<std::string> messages;
    std::vector<Win32FileDialog> dialogs;
    std::string answerPath;
};

TEST_F(Win32View, EveryKindIsItsSystemControlAtTheLayoutsPlace) {
    HWND w = view.window(panel);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(view.mainWindow(), w);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(win32_WindowText(w), "View test");
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, scaled(400));
    EXPECT_EQ(client.bottom, scaled(300));

    struct Expect {
        int id;
        const char* cls;
        const char* text;
    } kinds[] = {
        {2, "Button", "Press"}, {3, "Edit", ""},
        {4, "Edit", "0"},       {5, "Edit", ""},
        {6, "Static", "hello"}, {7, "Static", " Flash "},
        {8, "ListBox", ""},     {9, "msctls_progress32", ""},
    };
    for (const Expect& k : kinds) {
        HWND c = control(k.id);
        ASSERT_NE(c, nullptr) << k.id;
        EXPECT_STRCASEEQ(className(c).c_str(), k.cls) << k.id;
        EXPECT_EQ(win32_WindowText(c), k.text) << k.id;
    }
    HWND ring = control(1);
    EXPECT_STRCASEEQ(className(ring).c_str(), "ComboBox");
    EXPECT_EQ(SendMessageW(ring, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(comboText(ring, static_cast<int>(SendMessageW(ring, CB_GETCURSEL, 0, 0))), "B");
    // The paths and numbers are read-only; the entry is not.
    EXPECT_TRUE(GetWindowLongPtrW(control(3), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongPtrW(control(4), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(GetWindowLongPtrW(control(5), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(view.lit(panel, 7));

    const RECT bar = placeOf(control(9));
    EXPECT_EQ(bar.left, scaled(220));
    EXPECT_EQ(bar.top, scaled(170));
    EXPECT_EQ(bar.right - bar.left, scaled(150));
    EXPECT_EQ(bar.bottom - bar.top, scaled(20));
    // Captions sit above the controls that carry one; a button has none.
    HWND caption = view.captionWindow(panel, 1);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(win32_WindowText(caption), "Ring");
    EXPECT_LE(placeOf(caption).bottom, placeOf(ring).top);
    EXPECT_EQ(view.captionWindow(panel, 2), nullptr);
    // Tab reaches the buttons, rings, entries and the log; not the labels.
    EXPECT_TRUE(GetWindowLongPtrW(control(2), GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongPtrW(ring, GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongPtrW(control(6), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(Win32View, StateChangesReachTheControls) {
    SetCtrlVal(panel, 4, 123456);
    EXPECT_EQ(win32_WindowText(control(4)), "123456");
    SetCtrlVal(panel, 11, -1); // a byte sum: shown unsigned
    EXPECT_EQ(win32_WindowText(control(11)), "4294967295");

    // A text message shows its value or its label, whichever was set last.
    SetCtrlVal(panel, 6, "Elapsed time : 12 s");
    EXPECT_EQ(win32_WindowText(control(6)), "Elapsed time : 12 s");
    SetCtrlAttribute(panel, 6, ATTR_LABEL_TEXT, "0 min 3 sec");
    EXPECT_EQ(win32_WindowText(control(6)), "0 min 3 sec");
    SetCtrlAttribute(panel, 6, ATTR_DIMMED, 1);
    EXPECT_EQ(win32_WindowText(control(6)), "0 min 3 sec");

    SetCtrlAttribute(panel, 7, ATTR_LABEL_TEXT, " Flash 28F640J3");
    SetCtrlVal(panel, 7, 1);
    EXPECT_TRUE(view.lit(panel, 7));
    EXPECT_EQ(win32_WindowText(control(7)), " Flash 28F640J3");
    SetCtrlAttribute(panel, 7, ATTR_ON_TEXT, "ON");
    EXPECT_EQ(win32_WindowText(control(7)), "ON");
    SetCtrlVal(panel, 7, 0);
    EXPECT_FALSE(view.lit(panel, 7));
    EXPECT_EQ(win32_WindowText(control(7)), " Flash 28F640J3");

    SetCtrlVal(panel, 9, 57);
    EXPECT_EQ(SendMessageW(control(9), PBM_GETPOS, 0, 0), 57);
    SetCtrlVal(panel, 9, 250); // out of range: full, not an error
    EXPECT_EQ(SendMessageW(control(9), PBM_GETPOS, 0, 0), 100);
    SetCtrlVal(panel, 9, -3);
    EXPECT_EQ(SendMessageW(control(9), PBM_GETPOS, 0, 0), 0);

    // Unicode paths come through whole.
    const std::string path = "C:\\images\\\xc3\xa9t\xc3\xa9\\\xe6\x89\x8b\xe6\x9c\xba.bin";
    ResetTextBox(panel, 3, path.c_str());
    EXPECT_EQ(win32_WindowText(control(3)), path);
    InsertTextBoxLine(panel, 3, 0, "first");
    EXPECT_EQ(win32_WindowText(control(3)), "first\r\n" + path);
    SetCtrlVal(panel, 5, "typed");
    EXPECT_EQ(win32_WindowText(control(5)), "typed");

    HWND ring = control(1);
    SetCtrlIndex(panel, 1, 2);
    EXPECT_EQ(SendMessageW(ring, CB_GETCURSEL, 0, 0), 2);
    InsertListItem(panel, 1, 0, "Z", 99);
    EXPECT_EQ(SendMessageW(ring, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(comboText(ring, 0), "Z");
    EXPECT_EQ(SendMessageW(ring, CB_GETITEMDATA, 0, 0), 99);
    EXPECT_EQ(SendMessageW(ring, CB_GETCURSEL, 0, 0), 3); // the selection follows its item

    HWND list = control(8);
    for (int i = 0; i < 40; i++) {
        InsertListItem(panel, 8, i, (" line " + std::to_string(i) + " ").c_str(), 0);
        SetCtrlIndex(panel, 8, i);
    }
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 40);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 39);
    EXPECT_EQ(listText(list, 39), " line 39 ");
    // An insertion in the middle rebuilds the list in the services' order.
    InsertListItem(panel, 8, 0, " top ", 0);
    EXPECT_EQ(listText(list, 0), " top ");
    EXPECT_EQ(listText(list, 40), " line 39 ");
    // A line wider than the log can be scrolled to its end.
    InsertListItem(panel, 8, -1, (" " + std::string(300, 'x') + " ").c_str(), 0);
    RECT r{};
    GetClientRect(list, &r);
    EXPECT_GT(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), r.right);

    // Dimming: the control and its caption.
    EXPECT_FALSE(IsWindowEnabled(control(10)));
    SetCtrlAttribute(panel, 1, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, 10, ATTR_DIMMED, 0);
    EXPECT_FALSE(IsWindowEnabled(ring));
    EXPECT_FALSE(IsWindowEnabled(view.captionWindow(panel, 1)));
    EXPECT_TRUE(IsWindowEnabled(control(10)));
}

TEST_F(Win32View, OperatorActionsReachTheCallbacksFromTheMessageLoop) {
    HWND w = view.window(panel);
    SendMessageW(control(2), BM_CLICK, 0, 0);
    EXPECT_TRUE(calls.empty()) << "dispatched inside the control's notification";
    pump();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].control, 2);
    EXPECT_EQ(calls[0].event, EVENT_COMMIT);

    // A dimmed button reaches no callback, even when its notification comes.
    calls.clear();
    SetCtrlAttribute(panel, 2, ATTR_DIMMED, 1);
    SendMessageW(w, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), reinterpret_cast<LPARAM>(control(2)));
    pump();
    EXPECT_TRUE(calls.empty());

    // The ring: a choice made with the keys counts at once.
    HWND ring = control(1);
    SendMessageW(ring, CB_SETCURSEL, 2, 0);
    SendMessageW(w, WM_COMMAND, MAKEWPARAM(1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(ring));
    pump();
    int value = 0;
    GetCtrlVal(panel, 1, &value);
    EXPECT_EQ(value, 30);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].event, EVENT_VAL_CHANGED);
    // ... and the same choice again is no change.
    SendMessageW(w, WM_COMMAND, MAKEWPARAM(1, CBN_SELENDOK), reinterpret_cast<LPARAM>(ring));
    pump();
    EXPECT_EQ(calls.size(), 1u);

    // The entry takes its text when it loses the keyboard.
    calls.clear();
    SetWindowTextW(control(5), L"abc");
    SendMessageW(w, WM_COMMAND, MAKEWPARAM(5, EN_KILLFOCUS), reinterpret_cast<LPARAM>(control(5)));
    pump();
    char text[32] = {};
    GetCtrlVal(panel, 5, text, sizeof text);
    EXPECT_STREQ(text, "abc");
    ASSERT_EQ(calls.size(), 1u);

    // The frame's close goes to the close callback; the window stays until the panel goes.
    calls.clear();
    SendMessageW(w, WM_CLOSE, 0, 0);
    pump();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].event, EVENT_CLOSE);
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(Win32View, MenuBarTicksAndItsGreyedPlaceWhileRemoved) {
    EXPECT_EQ(view.menuBar(panel), nullptr);
    const int bar = LoadMenuBar(panel, "view.uir", 1);
    ASSERT_GT(bar, 0);
    HMENU menu = view.menuBar(panel);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(file), 3);
    EXPECT_TRUE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
    // The client area keeps the panel's size under the bar.
    RECT client{};
    GetClientRect(view.window(panel), &client);
    EXPECT_EQ(client.bottom, scaled(300));

    view.setMenuCheck([](int, int item) { return item == 2 ? 1 : -1; });
    SendMessageW(view.window(panel), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_TRUE(GetMenuState(file, Win32UiView::menuCommand(2), MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(file, Win32UiView::menuCommand(1), MF_BYCOMMAND) & MF_CHECKED);

    SendMessageW(view.window(panel), WM_COMMAND, Win32UiView::menuCommand(2), 0);
    pump();
    EXPECT_EQ(menuCalls, std::vector<int>{2});

    // Removed (the panel locked for a run): the bar stays greyed, and its items do nothing.
    DiscardMenuBar(bar);
    EXPECT_EQ(view.menuBar(panel), menu);
    EXPECT_TRUE(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED);
    SendMessageW(view.window(panel), WM_COMMAND, Win32UiView::menuCommand(1), 0);
    pump();
    EXPECT_EQ(menuCalls, std::vector<int>{2});
    // Back: live again.
    LoadMenuBar(panel, "view.uir", 1);
    EXPECT_FALSE(GetMenuState(view.menuBar(panel), 0, MF_BYPOSITION) & MF_GRAYED);
}

TEST_F(Win32View, LaterWindowsAreOwnedByTheMainOneAndEnterPressesTheirButton) {
    const int result = LoadPanel(0, "view.uir", 2);
    ASSERT_GT(result, 0);
    HWND w = view.window(result);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(IsWindowVisible(w));
    DisplayPanel(result);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(GetWindow(w, GW_OWNER), view.mainWindow());
    EXPECT_EQ(win32_WindowText(control(3, result)), "Done");
    EXPECT_TRUE(GetWindowLongPtrW(control(2, result), GWL_STYLE) & BS_DEFPUSHBUTTON);
    // Enter presses it wherever the keyboard is in the window.
    EXPECT_EQ(SendMessageW(w, DM_GETDEFID, 0, 0), MAKELRESULT(2, DC_HASDEFID));

    MSG enter{w, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(IsDialogMessageW(w, &enter));
    pump();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].panel, result);
    EXPECT_EQ(calls[0].control, 2);

    DiscardPanel(result);
    pump();
    EXPECT_EQ(view.window(result), nullptr);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Win32View, PopupsGoToTheirAnswersWithTheImageFilters) {
    MessagePopup("DOWNLOAD", "Download successful");
    EXPECT_EQ(messages, std::vector<std::string>{"DOWNLOAD: Download successful"});

    answerPath = dir.file("\xc3\xa9t\xc3\xa9.bin"); // UTF-8, as the panels hold it
    char path[260] = "";
    EXPECT_EQ(FileSelectPopup(dir.path().c_str(), "*.bin", "", "select bin file", "Load", 0, 0, 1,
                              0, path, sizeof path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(std::string(path), answerPath);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_FALSE(dialogs[0].save);
    EXPECT_EQ(dialogs[0].title, L"select bin file");
    const std::wstring filter = std::wstring(L"*.bin") + L'\0' + L"*.bin" + L'\0' +
                                L"All files (*.*)" + L'\0' + L"*.*" + L'\0';
    EXPECT_EQ(dialogs[0].filter, filter);
    EXPECT_EQ(dialogs[0].folder, win32_Wide(dir.path()));

    // A save, in a folder that is not here: the images folder of the environment.
    SetEnvironmentVariableW(L"DWL_IMAGES_DIR", L"D:\\bench\\images");
    answerPath.clear();
    EXPECT_EQ(FileSelectPopup("c:/nowhere/images", "*.trace", "", "Line trace", "Save", 0, 0, 1, 0,
                              path, sizeof path),
              VAL_NO_FILE_SELECTED);
    SetEnvironmentVariableW(L"DWL_IMAGES_DIR", nullptr);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_TRUE(dialogs[1].save);
    EXPECT_EQ(dialogs[1].folder, L"D:\\bench\\images");
    EXPECT_EQ(dialogs[1].defaultExtension, L"trace");
}

TEST_F(Win32View, FilesDroppedOnTheMainWindowGoToTheHandler) {
    std::vector<std::string> dropped;
    view.setDropHandler([&](const std::vector<std::string>& paths) { dropped = paths; });
    const std::vector<std::wstring> files = {L"C:\\a.bin", L"C:\\\u00e9t\u00e9\\b.ogm"};
    size_t chars = 1;
    for (const std::wstring& f : files)
        chars += f.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& f : files) {
        std::memcpy(names, f.c_str(), (f.size() + 1) * sizeof(wchar_t));
        names += f.size() + 1;
    }
    GlobalUnlock(memory);
    SendMessageW(view.mainWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_EQ(dropped[0], "C:\\a.bin");
    EXPECT_EQ(dropped[1], "C:\\\xc3\xa9t\xc3\xa9\\b.ogm");
    EXPECT_TRUE(GetWindowLongPtrW(view.mainWindow(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(Win32View, TheWaitHookDeliversInputButRunsNoOperatorAction) {
    win32_InstallWaitHook();
    PostMessageW(control(2), BM_CLICK, 0, 0);
    rs232_CallWaitHook();
    // The press reached the button (its commit is posted) but waits for the event loop.
    EXPECT_EQ(uis_PendingEvents(), 1u);
    EXPECT_TRUE(calls.empty());
    // Nothing it left behind wakes the next wait on the line at once.
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT & ~QS_PAINT, 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    pump();
    EXPECT_EQ(calls.size(), 1u);
    // From a run's first wait on the line, a change is shown from the next wait, not between a
    // reply and the next command (nor by the panel code's pump there); once the run has given
    // the message loop back, at once.
    rs232_CallWaitHook();
    SetCtrlVal(panel, 4, 77);
    ProcessSystemEvents(); // the panel code's own pump, between a reply and the next command
    EXPECT_EQ(win32_WindowText(control(4)), "0");
    rs232_CallWaitHook();
    EXPECT_EQ(win32_WindowText(control(4)), "77");
    SetCtrlVal(panel, 4, 78);
    view.later([this] { view.quitEventLoop(); });
    view.runEventLoop();
    EXPECT_EQ(win32_WindowText(control(4)), "78");
    SetCtrlVal(panel, 4, 79);
    EXPECT_EQ(win32_WindowText(control(4)), "79");
    win32_RemoveWaitHook();
}

TEST(Win32PortPicker, LinesNameEachPortOnceAndChoicesBecomeDevices) {
    const std::vector<Win32ComPort> ports = {
        {"COM1", "Communications Port (COM1)"}, {"COM5", "USB Serial Port (COM5)"}, {"COM12", ""}};
    EXPECT_EQ(win32_PortLabel(ports[0]), "COM1  (Communications Port)");
    EXPECT_EQ(win32_PortLabel(ports[1]), "COM5  (USB Serial Port)");
    EXPECT_EQ(win32_PortLabel(ports[2]), "COM12");
    EXPECT_EQ(win32_PortDevice("COM5  (USB Serial Port)", ports), "\\\\.\\COM5");
    EXPECT_EQ(win32_PortDevice(" com12 ", ports), "\\\\.\\COM12");
    EXPECT_EQ(win32_PortDevice("\\\\.\\CNCA0", ports), "\\\\.\\CNCA0");
}

TEST(Win32SectorMap, ComesUpWhenARunIdentifiesItsFlashAndFindsTheSectorUnderThePointer) {
    Win32UiView view;
    dwl10_80ResetSectorMap();
    win32_InstallSectorMap(view);
    HWND map = win32_SectorMapWindow();
    ASSERT_NE(map, nullptr);
    win32_FollowSectorMap();
    EXPECT_FALSE(IsWindowVisible(map));
    // A run identified a flash of 40 sectors.
    sg_SectorMap.NbSectors = 40;
    for (uint32_t i = 0; i < 40; i++)
        sg_SectorMap.Sector[i] = {0x02000000 + i * 0x10000, 0x10000,      0, 0,
                                  SECTOR_UNTOUCHED,         SECTOR_BINARY};
    sg_SectorMap.Changes++;
    win32_FollowSectorMap();
    EXPECT_TRUE(IsWindowVisible(map));
    // The grid in address order, from its top left.
    HDC dc = GetDC(map);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(map, dc);
    auto at = [dpi](int x, int y) { return POINT{MulDiv(x, dpi, 96), MulDiv(y, dpi, 96)}; };
    EXPECT_EQ(win32_SectorAt(at(8 + 80 + 5, 8 + 5)), 0);
    EXPECT_EQ(win32_SectorAt(at(8 + 80 + 16 + 5, 8 + 5)), 1);
    EXPECT_EQ(win32_SectorAt(at(2, 2)), -1);
    win32_RemoveSectorMap();
    dwl10_80ResetSectorMap();
}

} // namespace

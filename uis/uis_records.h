// The panels, controls and menu bars as records: what a layout file describes and what the
// services keep of each, with its current state.
#pragma once

#include <string>
#include <vector>

enum UiControlKind {
    UI_BUTTON,
    UI_RING,
    UI_TEXTBOX, // multi-line text (paths)
    UI_NUMERIC,
    UI_STRING,  // one-line text entry
    UI_TEXTMSG, // text label
    UI_LED,
    UI_LISTBOX,
    UI_PROGRESS, // progress bar, 0..100
};

// Name of a kind as written in the layout files ("button", "ring", ...).
const char* uis_KindName(UiControlKind kind);

// What a control of each kind holds: one line of text, lines of text (a text box), a list of
// items with a selection, or a number.
inline bool uis_HoldsText(UiControlKind k) {
    return k == UI_STRING || k == UI_TEXTMSG;
}
inline bool uis_HoldsLines(UiControlKind k) {
    return k == UI_TEXTBOX;
}
inline bool uis_HoldsList(UiControlKind k) {
    return k == UI_RING || k == UI_LISTBOX;
}
inline bool uis_HoldsInt(UiControlKind k) {
    return k == UI_NUMERIC || k == UI_LED || k == UI_PROGRESS || k == UI_BUTTON;
}

// The lines of a text box's text, split at '\n': an empty text has no lines. The text of a text
// box: its lines joined with '\n'.
std::vector<std::string> uis_SplitLines(const std::string& text);
std::string uis_JoinLines(const std::vector<std::string>& lines);

struct UiListItem {
    std::string label;
    int value;
};

// A control as loaded from the layout, with its current state.
struct UiControl {
    int id;
    UiControlKind kind;
    std::string callback; // empty: none
    int x, y, width, height;
    std::string label;              // ATTR_LABEL_TEXT
    std::string onText;             // ATTR_ON_TEXT (indicator lights)
    bool dimmed;                    // ATTR_DIMMED
    int intValue;                   // numeric, progress, led (0/1)
    bool unsignedValue;             // numeric shown as an unsigned 32-bit number (byte sums)
    std::string text;               // string, textmsg
    std::vector<UiListItem> items;  // ring, listbox
    int index;                      // selected item, -1 when there is none
    std::vector<std::string> lines; // textbox
};

struct UiMenuItem {
    int id; // 0 for a separator
    std::string label;
    std::string callback;
    bool separator;
};

struct UiMenu {
    std::string title;
    std::vector<UiMenuItem> items;
};

struct UiPanel {
    int handle;
    std::string layoutFile; // as passed to LoadPanel
    int resource;
    int parent;
    std::string title;
    int width, height;
    std::string closeCallback; // called with control 0 and EVENT_CLOSE when the window is closed
    bool visible;
    int menuBar; // 0: none
    std::vector<UiControl> controls;
};

struct UiMenuBar {
    int handle;
    int panel;
    std::string layoutFile;
    int resource;
    std::vector<UiMenu> menus;
};

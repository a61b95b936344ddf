// The window of one panel on Win32: its controls at the positions of the layout (scaled to the
// window's DPI), captions above the kinds that carry one, and the menu bar while the services
// have one attached.
#pragma once

#include "uis/uis_backend.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class Win32UiView;

struct Win32Control {
    int id = 0;
    UiControlKind kind = UI_BUTTON;
    HWND hwnd = nullptr;
    HWND caption = nullptr;
    RECT layout{}; // where the layout puts it, at 96 DPI, before the window is resized
    // A text message shows the one of its value and its label that was set last.
    bool first = true;
    std::string label, text, shown;
    // A list's lines as shown, and the widest of them in pixels.
    std::vector<std::string> lines;
    int widest = 0;
    // An indicator light.
    bool lit = false;
};

struct Win32Panel {
    Win32Panel(Win32UiView& view, const UiPanel& panel, HWND owner);
    ~Win32Panel();
    Win32Panel(const Win32Panel&) = delete;
    Win32Panel& operator=(const Win32Panel&) = delete;

    // Shows a control's state again (all controls when control is 0).
    void refresh(int control);
    void attachMenuBar(int menuBar);
    // The services removed the menu bar: its place stays with every menu greyed, so that the
    // controls do not move while the panel is locked.
    void detachMenuBar();
    void centreOnOwner();
    // Places every control for the window's DPI and size.
    void placeControls();
    int scale(int value) const { return MulDiv(value, dpi, 96); }
    Win32Control* control(int id);

    Win32UiView& view;
    int handle;
    bool main;
    HWND hwnd = nullptr;
    HWND owner;
    int dpi = 96;
    SIZE layoutSize{};
    HFONT font = nullptr;
    HMENU menu = nullptr;
    int menuBarHandle = 0;
    int defaultButton = 0; // the button Enter presses (not in the main window)
    std::map<int, Win32Control> controls;

    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    void create(const UiPanel& panel);
    void createControl(const UiControl& c);
    void show(Win32Control& c, const UiControl& state);
    void fitWindowToLayout();
    void makeFont();
    LRESULT handle_(UINT msg, WPARAM wParam, LPARAM lParam);
    void command(int id, int code, HWND from);
    void drawLight(const DRAWITEMSTRUCT& item);
};

// Whether a window is one of the panel windows (the message loop gives them dialog keys).
bool win32_IsPanelWindow(HWND hwnd);

#include "platform/windows/gui/win32_panel.h"

#include "platform/windows/gui/win32_view.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

namespace {

const wchar_t kPanelClass[] = L"dwlPanel";
constexpr int kCaptionHeight = 16;
// Room a ring's list drops down to.
constexpr int kRingDrop = 200;
// Where the menu items' command identifiers begin (below: the controls).
constexpr UINT kMenuBase = 20000;

std::string joined(const std::vector<std::string>& lines, const char* between) {
    std::string out;
    for (size_t i = 0; i < lines.size(); i++) {
        if (i > 0) out += between;
        out += lines[i];
    }
    return out;
}

bool hasCaption(UiControlKind kind) {
    switch (kind) {
    case UI_RING:
    case UI_TEXTBOX:
    case UI_NUMERIC:
    case UI_STRING:
    case UI_LISTBOX:
    case UI_PROGRESS: return true;
    default: return false;
    }
}

void registerClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Win32Panel::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"DWL");
    wc.lpszClassName = kPanelClass;
    RegisterClassExW(&wc);
    done = true;
}

int windowDpi(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ReleaseDC(hwnd, dc);
    return dpi > 0 ? dpi : 96;
}

int textWidth(HWND hwnd, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(hwnd);
    if (dc == nullptr) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

} // namespace

bool win32_IsPanelWindow(HWND hwnd) {
    wchar_t name[32] = L"";
    return hwnd != nullptr && GetClassNameW(hwnd, name, 32) > 0 && wcscmp(name, kPanelClass) == 0;
}

UINT Win32UiView::menuCommand(int menuItem) {
    return kMenuBase + static_cast<UINT>(menuItem);
}

Win32Panel::Win32Panel(Win32UiView& v, const UiPanel& panel, HWND ownerWindow)
    : view(v), handle(panel.handle), main(ownerWindow == nullptr),
      owner(ownerWindow), layoutSize{panel.width, panel.height} {
    registerClass();
    create(panel);
}

Win32Panel::~Win32Panel() {
    if (hwnd != nullptr) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    if (menu != nullptr && !IsWindow(hwnd)) DestroyMenu(menu);
    if (font != nullptr) DeleteObject(font);
}

void Win32Panel::makeFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW lf = metrics.lfMessageFont;
    // The system gives it for the system's DPI; the window may be on a screen of another.
    const int systemDpi = windowDpi(nullptr);
    lf.lfHeight = MulDiv(lf.lfHeight, dpi, systemDpi);
    HFONT made = CreateFontIndirectW(&lf);
    if (made == nullptr) return;
    if (font != nullptr) DeleteObject(font);
    font = made;
}

void Win32Panel::create(const UiPanel& panel) {
    const DWORD style = main ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
                             : WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle =
        main ? WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT : WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    hwnd =
        CreateWindowExW(exStyle, kPanelClass, win32_Wide(panel.title).c_str(), style, CW_USEDEFAULT,
                        CW_USEDEFAULT, 100, 100, owner, nullptr, GetModuleHandleW(nullptr), this);
    if (hwnd == nullptr) return;
    dpi = windowDpi(hwnd);
    makeFont();
    for (const UiControl& c : panel.controls)
        createControl(c);
    fitWindowToLayout();
    placeControls();
    refresh(0);
    // The window's one button (a result window's OK) is the default: Enter presses it.
    if (!main) {
        for (auto& [id, c] : controls) {
            if (c.kind != UI_BUTTON) continue;
            defaultButton = id;
            SendMessageW(c.hwnd, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            break;
        }
    }
}

void Win32Panel::createControl(const UiControl& c) {
    Win32Control w;
    w.id = c.id;
    w.kind = c.kind;
    w.layout = {c.x, c.y, c.x + c.width, c.y + c.height};
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (c.kind) {
    case UI_BUTTON:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    case UI_RING:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        break;
    case UI_TEXTBOX:
        // Paths are long: they wrap, and a read-only field may still be selected and copied.
        cls = L"EDIT";
        style |= ES_MULTILINE | ES_READONLY | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case UI_NUMERIC:
        cls = L"EDIT";
        style |= ES_READONLY | ES_RIGHT | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case UI_STRING:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case UI_TEXTMSG: style |= SS_LEFT | SS_NOPREFIX; break;
    case UI_LED: style |= SS_OWNERDRAW; break;
    case UI_LISTBOX:
        cls = L"LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case UI_PROGRESS:
        cls = PROGRESS_CLASSW;
        style |= PBS_SMOOTH;
        break;
    }
    w.hwnd = CreateWindowExW(exStyle, cls, L"", style, 0, 0, 10, 10, hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (w.hwnd == nullptr) return;
    SendMessageW(w.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c.kind == UI_PROGRESS) SendMessageW(w.hwnd, PBM_SETRANGE32, 0, 100);
    if (hasCaption(c.kind)) {
        w.caption =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0,
                            10, 10, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (w.caption != nullptr)
            SendMessageW(w.caption, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    controls[c.id] = std::move(w);
}

Win32Control* Win32Panel::control(int id) {
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : &it->second;
}

void Win32Panel::fitWindowToLayout() {
    RECT r{0, 0, scale(layoutSize.cx), scale(layoutSize.cy)};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)),
                       GetMenu(hwnd) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Panel::placeControls() {
    RECT client{};
    GetClientRect(hwnd, &client);
    // The main window grows its list box (the operator log) with the window; what lies right
    // of it or below it keeps its distance to the window's edges.
    const int dw = main ? std::max(0, static_cast<int>(client.right) - scale(layoutSize.cx)) : 0;
    const int dh = main ? std::max(0, static_cast<int>(client.bottom) - scale(layoutSize.cy)) : 0;
    RECT list{};
    bool hasList = false;
    for (auto& [id, c] : controls) {
        if (c.kind == UI_LISTBOX) {
            list = c.layout;
            hasList = true;
        }
    }
    HDWP batch = BeginDeferWindowPos(static_cast<int>(controls.size() * 2));
    for (auto& [id, c] : controls) {
        int dx = 0, dy = 0, grow = 0, tall = 0;
        if (hasList && c.kind == UI_LISTBOX) {
            grow = dw;
            tall = dh;
        } else if (hasList) {
            if (c.layout.left >= list.right && c.layout.bottom > list.top) dx = dw;
            if (c.layout.top >= list.bottom) dy = dh;
        }
        const int x = scale(c.layout.left) + dx;
        const int y = scale(c.layout.top) + dy;
        const int width = scale(c.layout.right - c.layout.left) + grow;
        int height = scale(c.layout.bottom - c.layout.top) + tall;
        if (c.kind == UI_RING) height += scale(kRingDrop);
        if (batch != nullptr)
            batch = DeferWindowPos(batch, c.hwnd, nullptr, x, y, width, height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        if (c.kind == UI_RING) {
            // The closed ring as tall as the layout makes it.
            const int itemHeight = scale(c.layout.bottom - c.layout.top) - 6;
            SendMessageW(c.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight);
        }
        if (c.caption != nullptr && batch != nullptr)
            batch = DeferWindowPos(batch, c.caption, nullptr, x,
                                   std::max(0, y - scale(kCaptionHeight) - 1), width,
                                   scale(kCaptionHeight), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch != nullptr) EndDeferWindowPos(batch);
}

void Win32Panel::centreOnOwner() {
    if (owner == nullptr) return;
    RECT o{}, me{};
    GetWindowRect(owner, &o);
    GetWindowRect(hwnd, &me);
    const int w = me.right - me.left;
    const int h = me.bottom - me.top;
    const int x = (o.left + o.right) / 2 - w / 2;
    const int y =
        std::max(static_cast<int>(o.top), static_cast<int>((o.top + o.bottom) / 2 - h / 2));
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Panel::refresh(int id) {
    if (id == 0) {
        for (auto& [cid, c] : controls)
            if (const UiControl* state = uis_Control(handle, cid)) show(c, *state);
        return;
    }
    Win32Control* c = control(id);
    const UiControl* state = uis_Control(handle, id);
    if (c != nullptr && state != nullptr) show(*c, *state);
}

void Win32Panel::show(Win32Control& c, const UiControl& s) {
    switch (c.kind) {
    case UI_BUTTON:
        if (win32_WindowText(c.hwnd) != s.label)
            SetWindowTextW(c.hwnd, win32_Wide(s.label).c_str());
        break;
    case UI_RING: {
        const int count = static_cast<int>(SendMessageW(c.hwnd, CB_GETCOUNT, 0, 0));
        bool same = count == static_cast<int>(s.items.size());
        for (int i = 0; same && i < count; i++) {
            wchar_t text[512] = L"";
            if (SendMessageW(c.hwnd, CB_GETLBTEXTLEN, i, 0) < 512)
                SendMessageW(c.hwnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            same = win32_Utf8(text) == s.items[i].label &&
                   SendMessageW(c.hwnd, CB_GETITEMDATA, i, 0) == s.items[i].value;
        }
        if (!same) {
            SendMessageW(c.hwnd, CB_RESETCONTENT, 0, 0);
            for (const UiListItem& item : s.items) {
                const LRESULT at =
                    SendMessageW(c.hwnd, CB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(win32_Wide(item.label).c_str()));
                SendMessageW(c.hwnd, CB_SETITEMDATA, at, item.value);
            }
        }
        SendMessageW(c.hwnd, CB_SETCURSEL, s.index, 0);
        break;
    }
    case UI_LISTBOX: {
        // The log grows one line at a time: add what is new, rebuild only when the items differ
        // in some other way.
        bool prefix = c.lines.size() <= s.items.size();
        for (size_t i = 0; prefix && i < c.lines.size(); i++)
            prefix = c.lines[i] == s.items[i].label;
        SendMessageW(c.hwnd, WM_SETREDRAW, FALSE, 0);
        if (!prefix) {
            SendMessageW(c.hwnd, LB_RESETCONTENT, 0, 0);
            c.lines.clear();
            c.widest = 0;
        }
        for (size_t i = c.lines.size(); i < s.items.size(); i++) {
            const std::wstring line = win32_Wide(s.items[i].label);
            SendMessageW(c.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            c.lines.push_back(s.items[i].label);
            c.widest = std::max(c.widest, textWidth(c.hwnd, font, line) + 8);
        }
        // Never cut: the scroll bar reaches the end of the longest line.
        SendMessageW(c.hwnd, LB_SETHORIZONTALEXTENT, c.widest, 0);
        const int count = static_cast<int>(c.lines.size());
        if (s.index >= 0 && s.index < count) {
            SendMessageW(c.hwnd, LB_SETCURSEL, s.index, 0);
        } else {
            SendMessageW(c.hwnd, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        }
        SendMessageW(c.hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(c.hwnd, nullptr, TRUE);
        break;
    }
    case UI_TEXTBOX: {
        const std::string text = joined(s.lines, "\r\n");
        if (win32_WindowText(c.hwnd) != text) SetWindowTextW(c.hwnd, win32_Wide(text).c_str());
        break;
    }
    case UI_NUMERIC: {
        const std::string text = s.unsignedValue ? std::to_string(static_cast<uint32_t>(s.intValue))
                                                 : std::to_string(s.intValue);
        if (win32_WindowText(c.hwnd) != text) SetWindowTextW(c.hwnd, win32_Wide(text).c_str());
        break;
    }
    case UI_STRING:
        if (win32_WindowText(c.hwnd) != s.text) SetWindowTextW(c.hwnd, win32_Wide(s.text).c_str());
        break;
    case UI_TEXTMSG: {
        std::string shown;
        if (c.first)
            shown = s.text.empty() ? s.label : s.text;
        else if (s.label != c.label)
            shown = s.label;
        else if (s.text != c.text)
            shown = s.text;
        else
            shown = c.shown;
        c.first = false;
        c.label = s.label;
        c.text = s.text;
        if (shown != c.shown || win32_WindowText(c.hwnd) != shown)
            SetWindowTextW(c.hwnd, win32_Wide(shown).c_str());
        c.shown = shown;
        break;
    }
    case UI_LED: {
        // A lit light shows its on-text when it has one, its label otherwise.
        const std::string text = s.intValue != 0 && !s.onText.empty() ? s.onText : s.label;
        const bool lit = s.intValue != 0;
        if (lit != c.lit || win32_WindowText(c.hwnd) != text) {
            c.lit = lit;
            SetWindowTextW(c.hwnd, win32_Wide(text).c_str());
            InvalidateRect(c.hwnd, nullptr, TRUE);
        }
        break;
    }
    case UI_PROGRESS: SendMessageW(c.hwnd, PBM_SETPOS, std::clamp(s.intValue, 0, 100), 0); break;
    }
    const bool enabled = !s.dimmed;
    if ((IsWindowEnabled(c.hwnd) != FALSE) != enabled) {
        // A control that has the keyboard and goes dim hands it on, or the keys go nowhere.
        if (!enabled && GetFocus() == c.hwnd) {
            HWND next = GetNextDlgTabItem(hwnd, c.hwnd, FALSE);
            SetFocus(next != nullptr && next != c.hwnd ? next : hwnd);
        }
        EnableWindow(c.hwnd, enabled ? TRUE : FALSE);
    }
    if (c.caption != nullptr) {
        if (win32_WindowText(c.caption) != s.label)
            SetWindowTextW(c.caption, win32_Wide(s.label).c_str());
        EnableWindow(c.caption, enabled ? TRUE : FALSE);
    }
}

void Win32Panel::attachMenuBar(int menuBar) {
    const UiMenuBar* bar = uis_MenuBar(menuBar);
    if (bar == nullptr) return;
    HMENU built = CreateMenu();
    for (const UiMenu& m : bar->menus) {
        HMENU popup = CreatePopupMenu();
        for (const UiMenuItem& item : m.items) {
            if (item.separator)
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(popup, MF_STRING, Win32UiView::menuCommand(item.id),
                            win32_Wide(item.label).c_str());
        }
        AppendMenuW(built, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup),
                    win32_Wide(m.title).c_str());
    }
    const bool had = GetMenu(hwnd) != nullptr;
    HMENU old = menu;
    menu = built;
    menuBarHandle = menuBar;
    SetMenu(hwnd, built);
    if (old != nullptr) DestroyMenu(old);
    // The first bar takes room above the controls: the window grows by it.
    if (!had) {
        fitWindowToLayout();
        placeControls();
    }
    DrawMenuBar(hwnd);
}

void Win32Panel::detachMenuBar() {
    menuBarHandle = 0;
    if (menu == nullptr) return;
    // An open menu closes; the bar keeps its place, greyed.
    SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++)
        EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
    DrawMenuBar(hwnd);
}

void Win32Panel::drawLight(const DRAWITEMSTRUCT& item) {
    Win32Control* c = control(static_cast<int>(item.CtlID));
    if (c == nullptr) return;
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const int d = std::min(static_cast<int>(r.bottom - r.top) - 4, scale(14));
    const int top = r.top + (r.bottom - r.top - d) / 2;
    const bool enabled = IsWindowEnabled(c->hwnd) != FALSE;
    const COLORREF on = RGB(40, 200, 60);
    const COLORREF off = RGB(40, 80, 45);
    HBRUSH brush = CreateSolidBrush(c->lit ? on : off);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(60, 60, 60));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Ellipse(dc, r.left + 2, top, r.left + 2 + d, top + d);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
    RECT text = r;
    text.left += d + scale(8);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    HGDIOBJ oldFont = SelectObject(dc, font);
    const std::wstring label = win32_Wide(win32_WindowText(c->hwnd));
    DrawTextW(dc, label.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void Win32Panel::command(int id, int code, HWND from) {
    // A menu item.
    if (from == nullptr && code == 0 && id >= static_cast<int>(kMenuBase)) {
        if (menuBarHandle != 0 &&
            uis_OperateMenuItem(menuBarHandle, id - static_cast<int>(kMenuBase)) == 0)
            view.scheduleDispatch();
        return;
    }
    Win32Control* c = control(id);
    if (c == nullptr || from != c->hwnd) return;
    switch (c->kind) {
    case UI_BUTTON:
        if (code != BN_CLICKED) return;
        view.notifyPressed(handle, id);
        if (uis_OperateCommit(handle, id) == 0) view.scheduleDispatch();
        return;
    case UI_RING: {
        // Arrow keys on the closed ring choose at once; in the dropped list the choice counts
        // when the list closes on it.
        const bool dropped = SendMessageW(c->hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (!(code == CBN_SELENDOK || (code == CBN_SELCHANGE && !dropped))) return;
        const int index = static_cast<int>(SendMessageW(c->hwnd, CB_GETCURSEL, 0, 0));
        const UiControl* now = uis_Control(handle, id);
        if (index < 0 || now == nullptr || index == now->index) return;
        const int value = static_cast<int>(SendMessageW(c->hwnd, CB_GETITEMDATA, index, 0));
        if (uis_OperateSetValue(handle, id, value) == 0)
            view.scheduleDispatch();
        else
            refresh(id); // refused: back to what the services hold
        return;
    }
    case UI_STRING: {
        if (code != EN_KILLFOCUS) return;
        const UiControl* now = uis_Control(handle, id);
        const std::string text = win32_WindowText(c->hwnd);
        if (now == nullptr || now->text == text) return;
        if (uis_OperateSetText(handle, id, text.c_str()) == 0) view.scheduleDispatch();
        return;
    }
    default: return;
    }
}

LRESULT CALLBACK Win32Panel::proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Win32Panel*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = hwnd;
    }
    auto* self = reinterpret_cast<Win32Panel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle_(msg, wParam, lParam);
}

LRESULT Win32Panel::handle_(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_INITMENUPOPUP: {
        // The ticks show the settings as they are when the menu opens.
        HMENU popup = reinterpret_cast<HMENU>(wParam);
        const int count = GetMenuItemCount(popup);
        for (int i = 0; i < count; i++) {
            const UINT id = GetMenuItemID(popup, i);
            if (id == static_cast<UINT>(-1) || id < kMenuBase) continue;
            const int checked =
                view.menuItemChecked(menuBarHandle, static_cast<int>(id - kMenuBase));
            CheckMenuItem(popup, id, MF_BYCOMMAND | (checked > 0 ? MF_CHECKED : MF_UNCHECKED));
        }
        return 0;
    }
    case WM_DRAWITEM: drawLight(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_CTLCOLORSTATIC: {
        // The read-only fields (numbers, paths) on the field colour, as the entries.
        HWND from = reinterpret_cast<HWND>(lParam);
        for (auto& [id, c] : controls) {
            if (c.hwnd != from || (c.kind != UI_NUMERIC && c.kind != UI_TEXTBOX)) continue;
            if (!IsWindowEnabled(from)) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    case DM_GETDEFID:
        if (defaultButton != 0) return MAKELRESULT(defaultButton, DC_HASDEFID);
        return 0;
    case WM_CLOSE:
        // The panel's close callback decides; the window goes when the panel is discarded. A
        // panel without one cannot be closed from its frame (its own button closes it).
        if (uis_OperateClose(handle) == 0) view.scheduleDispatch();
        return 0;
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        std::vector<std::string> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; i++) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), length + 1);
            path.resize(length);
            paths.push_back(win32_Utf8(path));
        }
        DragFinish(drop);
        if (!paths.empty() && view.acceptsDrops()) view.filesDropped(paths);
        return 0;
    }
    case WM_SIZE:
        if (main) placeControls();
        break;
    case WM_GETMINMAXINFO:
        if (main && hwnd != nullptr) {
            RECT r{0, 0, scale(layoutSize.cx), scale(layoutSize.cy)};
            AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)),
                               GetMenu(hwnd) != nullptr,
                               static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
            return 0;
        }
        break;
    case 0x02E0: { // WM_DPICHANGED: the window moved to a screen of another DPI
        dpi = HIWORD(wParam);
        makeFont();
        for (auto& [id, c] : controls) {
            SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            if (c.caption != nullptr)
                SendMessageW(c.caption, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
        const RECT* to = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd, nullptr, to->left, to->top, to->right - to->left, to->bottom - to->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        placeControls();
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

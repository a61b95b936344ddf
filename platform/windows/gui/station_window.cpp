#include "platform/windows/gui/station_window.h"

#include "link/dwl12pclib.h"
#include "platform/windows/gui/station_child.h"
#include "platform/windows/gui/win32_station.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>

namespace dwlwin {

namespace {

const wchar_t kWindowClass[] = L"DwlStationWindow";
const wchar_t kTilesClass[] = L"DwlStationTiles";
const wchar_t kLogClass[] = L"DwlStationLog";
const wchar_t kQuestionClass[] = L"DwlStationQuestion";

constexpr UINT kChildMessage = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT_PTR kSecondInterruptTimer = 2;
// How long the end of the window waits for a cancelled station to end before it kills it.
constexpr int kEndMsecs = 15000;
// The controls' identifiers are their Control values plus this; the browse buttons follow.
constexpr int kFirstId = 100;
constexpr int kBrowseId = 200;
constexpr int kLogCloseId = 300;
constexpr int kQuestionFirstId = 400;

// The room of the window's parts, in pixels at the font's height fh.
constexpr int kMargin = 8;
constexpr int kButtonsWidth = 180;

std::function<void(HWND)>& questionObserver() {
    static std::function<void(HWND)> observer;
    return observer;
}

std::wstring crlf(const std::string& text) {
    std::wstring out;
    for (wchar_t c : wide(text)) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

std::string windowText(HWND hwnd) {
    if (hwnd == nullptr) return "";
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(n + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(n);
    return utf8(text);
}

void setText(HWND hwnd, const std::string& text) {
    if (windowText(hwnd) != text) SetWindowTextW(hwnd, crlf(text).c_str());
}

HFONT makeFont(const LOGFONTW& base, double scale, bool bold) {
    LOGFONTW f = base;
    f.lfHeight = static_cast<LONG>(f.lfHeight * scale);
    if (bold) f.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&f);
}

HFONT pixelFont(int pixels, bool bold) {
    return CreateFontW(-std::max(pixels, 9), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Segoe UI");
}

int fontHeight(HWND hwnd, HFONT font) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return tm.tmHeight;
}

COLORREF lightColour(int light) {
    switch (light) {
    case LIGHT_RUNNING: return RGB(240, 165, 30);
    case LIGHT_PASS: return RGB(40, 160, 70);
    case LIGHT_FAIL: return RGB(210, 45, 45);
    case LIGHT_LOST: return RGB(80, 90, 102);
    case LIGHT_WAITING: return RGB(200, 200, 200);
    default: return RGB(225, 225, 225);
    }
}

// Text on one line of a rectangle, cut with an ellipsis where it does not fit.
void drawLine(HDC dc, const std::string& text, RECT r, UINT how = DT_LEFT) {
    std::wstring w = wide(text);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r,
              how | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

// The largest bold font up to pixels (and not below least) that fits text into width.
HFONT fittedFont(HDC dc, int pixels, int least, const std::string& text, int width) {
    HFONT font = pixelFont(pixels, true);
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring w = wide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    SelectObject(dc, old);
    if (size.cx > width && size.cx > 0) {
        DeleteObject(font);
        font = pixelFont(std::max(least, pixels * width / static_cast<int>(size.cx)), true);
    }
    return font;
}

StationWindow* owner(HWND hwnd) {
    return reinterpret_cast<StationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

template <LRESULT (StationWindow::*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    StationWindow* window = owner(hwnd);
    if (window == nullptr) return DefWindowProcW(hwnd, message, w, l);
    return (window->*Handler)(hwnd, message, w, l);
}

struct Question {
    int chosen = -1;
    int defaultIndex = 0;
    int cancelIndex = 0;
};

LRESULT CALLBACK questionProcedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
    auto* q = reinterpret_cast<Question*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (q != nullptr) {
        if (message == WM_COMMAND) {
            const int id = LOWORD(w);
            if (id == IDCANCEL)
                q->chosen = q->cancelIndex;
            else if (id == IDOK)
                q->chosen = q->defaultIndex;
            else if (id >= kQuestionFirstId)
                q->chosen = id - kQuestionFirstId;
            return 0;
        }
        if (message == WM_CLOSE) {
            q->chosen = q->cancelIndex;
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, w, l);
}

void registerClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    c.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    c.lpfnWndProc = procedure<&StationWindow::handle>;
    c.lpszClassName = kWindowClass;
    RegisterClassExW(&c);
    c.lpfnWndProc = procedure<&StationWindow::handleLog>;
    c.lpszClassName = kLogClass;
    RegisterClassExW(&c);
    c.lpfnWndProc = questionProcedure;
    c.lpszClassName = kQuestionClass;
    RegisterClassExW(&c);
    c.lpfnWndProc = procedure<&StationWindow::handleTiles>;
    c.lpszClassName = kTilesClass;
    c.hCursor = LoadCursorW(nullptr, IDC_HAND);
    c.style = CS_HREDRAW | CS_VREDRAW;
    RegisterClassExW(&c);
}

HFONT messageFont(LOGFONTW* base) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    *base = metrics.lfMessageFont;
    if (base->lfHeight == 0) base->lfHeight = -12;
    return CreateFontIndirectW(base);
}

} // namespace

// --- The question -------------------------------------------------------------------------

void setQuestionObserver(std::function<void(HWND)> observer) {
    questionObserver() = std::move(observer);
}

int askQuestion(HWND owner, const std::string& title, const std::string& text,
                const std::string& detail, const std::vector<std::string>& buttons,
                int defaultIndex, int cancelIndex) {
    registerClasses();
    LOGFONTW base{};
    HFONT font = messageFont(&base);
    const int fh = fontHeight(owner, font);
    const int buttonHeight = fh + 12;
    int width = 0;
    HDC dc = GetDC(owner);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<int> widths;
    for (const std::string& b : buttons) {
        SIZE size{};
        const std::wstring w = wide(b);
        GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
        widths.push_back(std::max<int>(size.cx + 24, 90));
        width += widths.back() + kMargin;
    }
    const int textWidth = std::max(width + kMargin, 440);
    // A little narrower than the label, which wraps it again in its own way.
    RECT textRect{0, 0, textWidth - 2 * kMargin - 12, 0};
    const std::wstring all = crlf(detail.empty() ? text : text + "\n\n" + detail);
    DrawTextW(dc, all.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(owner, dc);

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    RECT frame{0, 0, textWidth + kMargin, textRect.bottom + buttonHeight + 4 * kMargin};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const int fw = frame.right - frame.left, fhgt = frame.bottom - frame.top;
    RECT place{};
    if (owner != nullptr)
        GetWindowRect(owner, &place);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &place, 0);
    Question q{-1, defaultIndex, cancelIndex};
    HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, kQuestionClass, wide(title).c_str(), style,
                                place.left + std::max(0L, (place.right - place.left - fw) / 2),
                                place.top + std::max(0L, (place.bottom - place.top - fhgt) / 2), fw,
                                fhgt, owner, nullptr, GetModuleHandleW(nullptr), &q);
    HWND label = CreateWindowExW(0, L"STATIC", all.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX,
                                 kMargin, kMargin, textWidth - 2 * kMargin, textRect.bottom, hwnd,
                                 nullptr, nullptr, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int x = textWidth + kMargin - kMargin - width + kMargin;
    HWND defaultButton = nullptr;
    for (size_t i = 0; i < buttons.size(); i++) {
        const bool isDefault = static_cast<int>(i) == defaultIndex;
        HWND b = CreateWindowExW(
            0, L"BUTTON", wide(buttons[i]).c_str(),
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x,
            textRect.bottom + 2 * kMargin, widths[i], buttonHeight, hwnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kQuestionFirstId + i)), nullptr, nullptr);
        SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (isDefault) defaultButton = b;
        x += widths[i] + kMargin;
    }
    const bool ownerEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerEnabled) EnableWindow(owner, FALSE);
    ShowWindow(hwnd, SW_SHOW);
    if (defaultButton != nullptr) SetFocus(defaultButton);
    if (questionObserver()) questionObserver()(hwnd);
    MSG msg;
    while (q.chosen < 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (q.chosen < 0) {
        // The program is quitting: the quit goes on to the loop that waits for it.
        q.chosen = cancelIndex;
        PostQuitMessage(static_cast<int>(msg.wParam));
    }
    if (ownerEnabled) EnableWindow(owner, TRUE);
    DestroyWindow(hwnd);
    DeleteObject(font);
    if (owner != nullptr) SetActiveWindow(owner);
    return q.chosen;
}

// --- The window ---------------------------------------------------------------------------

StationWindow::StationWindow(HWND ownerWindow, const std::string& program,
                             const StationSettings& settings, bool locked)
    : program_(program) {
    registerClasses();
    create(ownerWindow);
    child_ = std::make_unique<StationChild>(window_, kChildMessage);
    setSettings(settings);
    showImages(station_ReadImages(settings));
    setLocked(locked);
    stationrun_Init(run_, settings.ports);
    layout();
    refresh();
}

StationWindow::~StationWindow() {
    // A station still running is cancelled: its ports' runs end as cancelled and are recorded.
    child_->end(kEndMsecs);
    if (log_ != nullptr) DestroyWindow(log_);
    DestroyWindow(window_);
    for (HFONT f : {font_, bigFont_, mediumFont_, fixedFont_})
        if (f != nullptr) DeleteObject(f);
}

void StationWindow::create(HWND ownerWindow) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    LOGFONTW base{};
    font_ = messageFont(&base);
    bigFont_ = makeFont(base, 1.9, true);
    mediumFont_ = makeFont(base, 1.35, false);
    LOGFONTW fixed = base;
    fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcscpy(fixed.lfFaceName, L"Consolas");
    fixedFont_ = CreateFontIndirectW(&fixed);

    window_ = CreateWindowExW(0, kWindowClass, L"Production station",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              1280, 800, ownerWindow, nullptr, instance, this);
    auto make = [&](Control which, const wchar_t* cls, const wchar_t* text, DWORD style,
                    DWORD ex = 0) {
        HWND h =
            CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + which)),
                            instance, which == TILES ? this : nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        controls_[which] = h;
        return h;
    };
    auto label = [&](const wchar_t* text) {
        HWND h = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window_,
                                 nullptr, instance, nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        labels_.push_back(h);
        return h;
    };
    const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
    label(L"Ports");
    make(PORTS, L"EDIT", L"", edit, WS_EX_CLIENTEDGE);
    const wchar_t* imageTitles[] = {L"Binary", L"ogm", L"TFS"};
    for (int i = 0; i < 3; i++) {
        label(imageTitles[i]);
        make(static_cast<Control>(BIN + i), L"EDIT", L"", edit, WS_EX_CLIENTEDGE);
        browse_[i] = CreateWindowExW(
            0, L"BUTTON", L"...", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10, 10, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBrowseId + i)), instance, nullptr);
        SendMessageW(browse_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        make(static_cast<Control>(BIN_TEXT + i), L"STATIC", L"", SS_NOPREFIX | SS_LEFTNOWORDWRAP);
    }
    label(L"Mode");
    make(MODE, L"COMBOBOX", L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
    label(L"Speed");
    make(SPEED, L"COMBOBOX", L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
    label(L"Results");
    make(RESULTS, L"EDIT", L"", edit, WS_EX_CLIENTEDGE);

    make(FIGURES, L"STATIC", L"", SS_NOPREFIX);
    SendMessageW(controls_[FIGURES], WM_SETFONT, reinterpret_cast<WPARAM>(bigFont_), FALSE);
    make(TIMES, L"STATIC", L"", SS_NOPREFIX);
    SendMessageW(controls_[TIMES], WM_SETFONT, reinterpret_cast<WPARAM>(mediumFont_), FALSE);
    make(STATUS, L"STATIC", L"", SS_NOPREFIX);
    make(RESULTS_TEXT, L"STATIC", L"", SS_NOPREFIX);

    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    make(START, L"BUTTON", L"Start", button | BS_DEFPUSHBUTTON);
    make(STOP, L"BUTTON", L"Stop", button);
    for (Control big : {START, STOP})
        SendMessageW(controls_[big], WM_SETFONT, reinterpret_cast<WPARAM>(mediumFont_), FALSE);
    make(UNLOCK, L"BUTTON", L"Unlock settings", button);
    make(STATION_LOG, L"BUTTON", L"Station log", button);
    // Its own close, as the frame's (it asks while production runs): without a window manager
    // the window has no frame to close it by.
    make(CLOSE, L"BUTTON", L"Close", button);
    make(TILES, kTilesClass, L"", WS_VSCROLL);

    HWND mode = controls_[MODE];
    SendMessageW(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"as the images decide"));
    SendMessageW(mode, CB_SETITEMDATA, 0, static_cast<LPARAM>(-1));
    const std::vector<std::string> names = stationrun_ModeNames();
    for (size_t i = 0; i < names.size(); i++) {
        const std::wstring item = std::to_wstring(i) + L"  " + wide(names[i]);
        const LRESULT at =
            SendMessageW(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        SendMessageW(mode, CB_SETITEMDATA, at, static_cast<LPARAM>(i));
    }
    HWND speed = controls_[SPEED];
    SendMessageW(speed, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"default"));
    SendMessageW(speed, CB_SETITEMDATA, 0, 0);
    for (long baud : a_PCSpeedValue) {
        const std::wstring item = std::to_wstring(baud) + L" baud";
        const LRESULT at =
            SendMessageW(speed, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        SendMessageW(speed, CB_SETITEMDATA, at, static_cast<LPARAM>(baud));
    }
}

// --- Layout and drawing -------------------------------------------------------------------

void StationWindow::layout() {
    RECT c{};
    GetClientRect(window_, &c);
    const int W = std::max<int>(c.right, 640), H = std::max<int>(c.bottom, 400);
    const int fh = fontHeight(window_, font_);
    const int row = fh + 10;
    const int gap = 4;
    const int bigRow = fontHeight(window_, mediumFont_) + 18;
    auto place = [](HWND h, int x, int y, int w, int hgt) { MoveWindow(h, x, y, w, hgt, TRUE); };

    const int room = W - 4 * kMargin - kButtonsWidth;
    const int sw = room * 3 / 5, tw = room - sw;
    const int x0 = kMargin;
    const int left = x0 + 10, labelW = std::max(60, fh * 4);
    const int fieldX = left + labelW, fieldW = x0 + sw - 10 - fieldX;
    const int browseW = fh * 2 + 8;
    int y = kMargin + fh + 8;
    place(labels_[0], left, y + 4, labelW - 4, fh + 2);
    place(controls_[PORTS], fieldX, y, fieldW, row);
    y += row + gap;
    for (int i = 0; i < 3; i++) {
        place(labels_[1 + i], left, y + 4, labelW - 4, fh + 2);
        place(controls_[BIN + i], fieldX, y, fieldW - browseW - gap, row);
        place(browse_[i], fieldX + fieldW - browseW, y, browseW, row);
        y += row + 1;
        place(controls_[BIN_TEXT + i], fieldX, y, fieldW, fh + 2);
        y += fh + 2 + gap;
    }
    const int half = (x0 + sw - 10 - left) / 2;
    place(labels_[4], left, y + 4, labelW - 4, fh + 2);
    place(controls_[MODE], fieldX, y, left + half - fieldX - gap, row + 300);
    place(labels_[5], left + half, y + 4, fh * 3, fh + 2);
    place(controls_[SPEED], left + half + fh * 3, y, x0 + sw - 10 - left - half - fh * 3,
          row + 300);
    y += row + gap;
    place(labels_[6], left, y + 4, labelW - 4, fh + 2);
    place(controls_[RESULTS], fieldX, y, fieldW, row);
    y += row + 10;
    const int topH = y - kMargin;
    settingsFrame_ = RECT{x0, kMargin, x0 + sw, kMargin + topH};

    const int x1 = x0 + sw + kMargin;
    totalsFrame_ = RECT{x1, kMargin, x1 + tw, kMargin + topH};
    InvalidateRect(window_, nullptr, TRUE);
    const int inner = tw - 20;
    int ty = kMargin + fh + 8;
    const int bigH = fontHeight(window_, bigFont_);
    place(controls_[FIGURES], x1 + 10, ty, inner, bigH * 2 + 2);
    ty += bigH * 2 + 4;
    const int mediumH = fontHeight(window_, mediumFont_);
    place(controls_[TIMES], x1 + 10, ty, inner, mediumH * 2 + 2);
    ty += mediumH * 2 + 6;
    const int rest = kMargin + topH - 8 - ty;
    place(controls_[STATUS], x1 + 10, ty, inner, rest * 3 / 5);
    place(controls_[RESULTS_TEXT], x1 + 10, ty + rest * 3 / 5, inner, rest - rest * 3 / 5);

    const int x2 = W - kMargin - kButtonsWidth;
    int by = kMargin + 6;
    place(controls_[START], x2, by, kButtonsWidth, bigRow);
    by += bigRow + gap;
    place(controls_[STOP], x2, by, kButtonsWidth, bigRow);
    by += bigRow + gap * 3;
    place(controls_[UNLOCK], x2, by, kButtonsWidth, row + 4);
    by += row + 4 + gap;
    place(controls_[STATION_LOG], x2, by, kButtonsWidth, row + 4);
    place(controls_[CLOSE], x2, kMargin + topH - row - 4, kButtonsWidth, row + 4);

    const int tilesTop = kMargin + topH + kMargin;
    place(controls_[TILES], kMargin, tilesTop, W - 2 * kMargin,
          std::max(kStationTileMinHeight, H - tilesTop - kMargin));
}

void StationWindow::layoutTiles() {
    HWND tiles = controls_[TILES];
    RECT r{};
    GetWindowRect(tiles, &r);
    int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int count = static_cast<int>(drawn_.size());
    columns_ = stationrun_ColumnsFor(count, w, h);
    rows_ = count == 0 ? 0 : (count + columns_ - 1) / columns_;
    const bool scrolls = rows_ * kStationTileMinHeight > h;
    if (scrolls) {
        // The scroll bar takes its width from the tiles.
        w -= GetSystemMetrics(SM_CXVSCROLL);
        columns_ = stationrun_ColumnsFor(count, w, h);
        rows_ = (count + columns_ - 1) / columns_;
    }
    cellWidth_ = w / std::max(columns_, 1);
    cellHeight_ = rows_ == 0 ? h : std::max(h / rows_, kStationTileMinHeight);
    visibleRows_ = std::max(1, h / std::max(cellHeight_, 1));
    scrollRow_ = scrolls ? std::min(scrollRow_, rows_ - visibleRows_) : 0;
    scrollRow_ = std::max(scrollRow_, 0);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = scrolls ? rows_ - 1 : 0;
    info.nPage = scrolls ? static_cast<UINT>(visibleRows_) : 1;
    info.nPos = scrollRow_;
    SetScrollInfo(tiles, SB_VERT, &info, TRUE);
    ShowScrollBar(tiles, SB_VERT, scrolls);
    InvalidateRect(tiles, nullptr, FALSE);
}

RECT StationWindow::tileRect(int port) const {
    const int column = port % std::max(columns_, 1);
    const int rowIndex = port / std::max(columns_, 1) - scrollRow_;
    return RECT{column * cellWidth_, rowIndex * cellHeight_, (column + 1) * cellWidth_,
                (rowIndex + 1) * cellHeight_};
}

void StationWindow::paintTiles(HDC dc, const RECT& area) {
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < drawn_.size(); i++) {
        const StationTileLook& look = drawn_[i];
        RECT card = tileRect(static_cast<int>(i));
        if (card.bottom <= 0 || card.top >= area.bottom) continue;
        InflateRect(&card, -2, -2);
        HBRUSH back = CreateSolidBrush(lightColour(look.light));
        FillRect(dc, &card, back);
        DeleteObject(back);
        const bool dark =
            look.light == LIGHT_PASS || look.light == LIGHT_FAIL || look.light == LIGHT_LOST;
        SetTextColor(dc, dark ? RGB(255, 255, 255) : RGB(20, 20, 20));

        // Every size follows the tile's height, so that a few large tiles read from afar.
        const int h = card.bottom - card.top;
        const int pad = std::max(4, h / 20);
        RECT a{card.left + pad, card.top + pad / 2, card.right - pad, card.bottom - pad / 2};
        const int width = a.right - a.left;
        const int smallSize = std::max(h / 15, 11);
        HFONT small = pixelFont(smallSize, false);
        const int smallH = smallSize + smallSize / 3;

        HFONT name = fittedFont(dc, h / 8, smallSize, look.port, width);
        HGDIOBJ old = SelectObject(dc, name);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        drawLine(dc, look.port, RECT{a.left, a.top, a.right, a.top + tm.tmHeight});
        a.top += tm.tmHeight;
        SelectObject(dc, small);
        if (look.device != look.port)
            drawLine(dc, look.device, RECT{a.left, a.top, a.right, a.top + smallH},
                     DT_LEFT | DT_PATH_ELLIPSIS);
        a.top += smallH + pad / 2;

        // Bottom up: the counts, the note, the progress bar.
        drawLine(dc, stationrun_CountsText(look),
                 RECT{a.left, a.bottom - smallH, a.right, a.bottom});
        a.bottom -= smallH + 1;
        if (!look.note.empty()) {
            drawLine(dc, look.note, RECT{a.left, a.bottom - smallH, a.right, a.bottom});
            a.bottom -= smallH + 1;
        }
        if (look.percent >= 0) {
            const int barH = std::max(8, h / 14);
            RECT bar{a.left, a.bottom - barH, a.right, a.bottom};
            HBRUSH light = CreateSolidBrush(RGB(250, 235, 205));
            FillRect(dc, &bar, light);
            DeleteObject(light);
            RECT done = bar;
            done.right = bar.left + (bar.right - bar.left) * std::min(look.percent, 100) / 100;
            HBRUSH ink = CreateSolidBrush(RGB(40, 40, 40));
            FillRect(dc, &done, ink);
            DeleteObject(ink);
            a.bottom = bar.top - pad / 2;
        }
        HFONT state = fittedFont(dc, h / 7, smallSize, look.state, width);
        SelectObject(dc, state);
        GetTextMetricsW(dc, &tm);
        drawLine(dc, look.state, RECT{a.left, a.top, a.right, a.top + tm.tmHeight});
        a.top += tm.tmHeight;
        if (!look.detail.empty() && a.bottom - a.top > smallH / 2) {
            // The reason of a failure wraps over the room left; what does not fit is in the log.
            SelectObject(dc, small);
            const std::wstring detail = wide(look.detail);
            DrawTextW(dc, detail.c_str(), static_cast<int>(detail.size()), &a,
                      DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS);
        }
        SelectObject(dc, old);
        for (HFONT f : {small, name, state})
            DeleteObject(f);
    }
}

LRESULT StationWindow::handleTiles(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        // Drawn off the screen first, so that a refresh does not flicker.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(memory, bitmap);
        paintTiles(memory, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SIZE: layoutTiles(); return 0;
    case WM_LBUTTONUP: {
        const int x = static_cast<short>(LOWORD(l)), y = static_cast<short>(HIWORD(l));
        if (cellWidth_ <= 0 || cellHeight_ <= 0 || x >= columns_ * cellWidth_) return 0;
        const int index = (y / cellHeight_ + scrollRow_) * columns_ + x / cellWidth_;
        if (index >= 0 && index < static_cast<int>(drawn_.size())) showLog(index);
        return 0;
    }
    case WM_MOUSEWHEEL:
    case WM_VSCROLL: {
        int to = scrollRow_;
        if (message == WM_MOUSEWHEEL) {
            to -= GET_WHEEL_DELTA_WPARAM(w) / WHEEL_DELTA;
        } else {
            switch (LOWORD(w)) {
            case SB_LINEUP: to--; break;
            case SB_LINEDOWN: to++; break;
            case SB_PAGEUP: to -= visibleRows_; break;
            case SB_PAGEDOWN: to += visibleRows_; break;
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: to = HIWORD(w); break;
            default: break;
            }
        }
        to = std::max(0, std::min(to, rows_ - visibleRows_));
        if (to != scrollRow_) {
            scrollRow_ = to;
            SetScrollPos(hwnd, SB_VERT, scrollRow_, TRUE);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    default: return DefWindowProcW(hwnd, message, w, l);
    }
}

// --- The operator's actions ---------------------------------------------------------------

LRESULT StationWindow::handle(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_SIZE:
        if (controls_[TILES] != nullptr) layout();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(l);
        info->ptMinTrackSize = POINT{720, 520};
        return 0;
    }
    case WM_COMMAND: {
        const int id = LOWORD(w);
        const int code = HIWORD(w);
        if (id >= kBrowseId && id < kBrowseId + 3) {
            browse(static_cast<Control>(BIN + id - kBrowseId));
            return 0;
        }
        switch (id - kFirstId) {
        case START: start(); break;
        case STOP: stop(); break;
        case UNLOCK: unlock(); break;
        case STATION_LOG: showLog(kStationWide); break;
        case CLOSE: close(); break;
        case PORTS:
        case BIN:
        case OGM:
        case TFS:
        case RESULTS:
            if (code == EN_KILLFOCUS) imagesEdited();
            break;
        case MODE:
        case SPEED:
            if (code == CBN_SELCHANGE) imagesEdited();
            break;
        default: break;
        }
        return 0;
    }
    case WM_TIMER:
        if (w == kRefreshTimer) refresh();
        if (w == kSecondInterruptTimer) {
            KillTimer(hwnd, kSecondInterruptTimer);
            if (run_.phase == STATION_CANCELLING) child_->interrupt();
        }
        return 0;
    case kChildMessage: {
        std::unique_ptr<StationChildText> posted(reinterpret_cast<StationChildText*>(l));
        if (posted->run != runNumber_) return 0; // of a station before this one
        if (w == STATION_OUT_LINE) {
            // The settings show what the station says it runs with, not what was asked.
            if (stationrun_ReadLine(run_, posted->text)) {
                setSettings(stationrun_SettingsOfStation(run_.model, settings()));
                showImages(run_.model.images);
            }
            scheduleRefresh();
        } else if (w == STATION_ERR_LINE) {
            stationrun_ReadErrorLine(run_, posted->text);
            scheduleRefresh();
        } else {
            ended(posted->text);
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(w);
        for (int i = 0; i < 3; i++)
            if (reinterpret_cast<HWND>(l) == controls_[BIN_TEXT + i] && imageProblem_[i])
                SetTextColor(dc, RGB(192, 0, 0));
        // Labels on the window's own face (read-only fields too, as the system draws them).
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_PAINT: {
        // The frames of the settings and the totals, with their titles.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        const int fh = fontHeight(hwnd, font_);
        HGDIOBJ old = SelectObject(dc, font_);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        const std::pair<const RECT*, const wchar_t*> frames[] = {
            {&settingsFrame_, locked_ ? L"Settings (locked)" : L"Settings"},
            {&totalsFrame_, L"Totals"}};
        for (const auto& [frame, title] : frames) {
            RECT edge = *frame;
            edge.top += fh / 2;
            DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
            RECT caption{frame->left + 8, frame->top, frame->right - 8, frame->top + fh};
            DrawTextW(dc, title, -1, &caption, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
            InflateRect(&caption, 3, 0);
            FillRect(dc, &caption, GetSysColorBrush(COLOR_BTNFACE));
            DrawTextW(dc, title, -1, &caption, DT_CENTER | DT_SINGLELINE);
        }
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE: close(); return 0;
    default: return DefWindowProcW(hwnd, message, w, l);
    }
}

void StationWindow::start() {
    if (run_.phase != STATION_IDLE) return;
    const StationSettings s = settings();
    if (s.ports.empty()) {
        askQuestion(window_, "Production station", "Name the ports of the station first.", "",
                    {"OK"}, 0, 0);
        return;
    }
    if (keeper_) keeper_(s);
    stationrun_Start(run_, s);
    showImages(station_ReadImages(s));
    setLocked(true);
    runNumber_++;
    std::string problem;
    // A station that cannot start ends at once.
    if (!child_->start(program_, station_CommandArgs(s), runNumber_, &problem))
        ended("the station could not start: " + problem);
    refresh();
}

void StationWindow::send(StationInterrupts interrupts) {
    for (int i = 0; i < interrupts.now; i++)
        child_->interrupt();
    if (interrupts.later) SetTimer(window_, kSecondInterruptTimer, kStationSecondMsecs, nullptr);
}

void StationWindow::stop() {
    send(stationrun_Stop(run_));
    refresh();
}

void StationWindow::unlock() {
    if (!stationrun_MayUnlock(run_, locked_)) return;
    if (askQuestion(window_, "Unlock settings", stationrun_UnlockQuestion(run_), "", {"Yes", "No"},
                    1, 1) != 0)
        return;
    StationInterrupts interrupts;
    if (stationrun_UnlockAnswered(run_, &interrupts)) setLocked(false);
    send(interrupts);
    refresh();
}

void StationWindow::ended(const std::string& how) {
    KillTimer(window_, kSecondInterruptTimer);
    if (stationrun_Ended(run_, how)) setLocked(false);
    refresh();
}

bool StationWindow::close() {
    switch (stationrun_CloseAsked(run_, asking_)) {
    case STATION_CLOSE_NOW: closeNow(); return true;
    case STATION_CLOSE_WAIT: refresh(); return false;
    case STATION_CLOSE_ASK: break;
    }
    asking_ = true;
    std::vector<std::string> buttons;
    std::vector<StationCloseAnswer> answers;
    if (run_.phase == STATION_RUNNING) {
        buttons.push_back(kStationFinishButton);
        answers.push_back(STATION_ANSWER_FINISH);
    }
    buttons.push_back(kStationCancelButton);
    answers.push_back(STATION_ANSWER_CANCEL);
    buttons.push_back(kStationKeepButton);
    answers.push_back(STATION_ANSWER_KEEP);
    const int keep = static_cast<int>(buttons.size()) - 1;
    const int chosen = askQuestion(window_, "Production station", stationrun_CloseQuestion(run_),
                                   kStationCloseInformation, buttons, keep, keep);
    asking_ = false;
    StationInterrupts interrupts;
    const bool closes = stationrun_CloseAnswered(run_, answers[chosen], &interrupts);
    send(interrupts);
    refresh();
    if (closes) closeNow();
    return closes;
}

void StationWindow::closeNow() {
    if (log_ != nullptr) ShowWindow(log_, SW_HIDE);
    ShowWindow(window_, SW_HIDE);
    if (closed_) closed_();
}

void StationWindow::scheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    SetTimer(window_, kRefreshTimer, kStationRefreshMsecs, nullptr);
}

void StationWindow::refresh() {
    KillTimer(window_, kRefreshTimer);
    refreshPending_ = false;
    std::vector<StationTileLook> looks;
    for (const StationPort& p : run_.model.ports)
        looks.push_back(p.look);
    if (looks != drawn_) {
        const bool counted = looks.size() != drawn_.size();
        drawn_ = looks;
        if (counted) layoutTiles();
        InvalidateRect(controls_[TILES], nullptr, FALSE);
    }
    setText(controls_[FIGURES], stationrun_FiguresText(run_.model.totals));
    setText(controls_[TIMES], stationrun_TimesText(run_.model.totals));
    setText(controls_[STATUS], stationrun_StatusText(run_));
    setText(controls_[RESULTS_TEXT], stationrun_ResultsText(run_.model.results, run_.model.server));
    const StationButtons buttons = stationrun_Buttons(run_, locked_);
    EnableWindow(controls_[START], buttons.start);
    EnableWindow(controls_[STOP], buttons.stop);
    setText(controls_[STOP], buttons.stopText);
    EnableWindow(controls_[UNLOCK], buttons.unlock);
    if (log_ != nullptr && IsWindowVisible(log_)) refreshLog(false);
    if (refreshed_) refreshed_();
}

// --- The settings -------------------------------------------------------------------------

std::string StationWindow::text(Control which) const {
    std::string t = windowText(controls_[which]);
    std::string out;
    for (char c : t)
        if (c != '\r') out += c;
    return out;
}

namespace {

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

LPARAM selectedData(HWND combo) {
    const LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return at == CB_ERR ? 0 : SendMessageW(combo, CB_GETITEMDATA, at, 0);
}

void selectData(HWND combo, LPARAM data, const std::wstring& missing) {
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++)
        if (SendMessageW(combo, CB_GETITEMDATA, i, 0) == data) {
            SendMessageW(combo, CB_SETCURSEL, i, 0);
            return;
        }
    if (missing.empty()) {
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        return;
    }
    // A value the list lacks, as the station reported it.
    const LRESULT at =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    SendMessageW(combo, CB_SETITEMDATA, at, data);
    SendMessageW(combo, CB_SETCURSEL, at, 0);
}

} // namespace

StationSettings StationWindow::settings() const {
    StationSettings s = base_;
    s.ports.clear();
    const std::string ports = text(PORTS);
    for (size_t i = 0; i < ports.size();) {
        const size_t start = ports.find_first_not_of(" \t", i);
        if (start == std::string::npos) break;
        const size_t end = std::min(ports.find_first_of(" \t", start), ports.size());
        s.ports.push_back(ports.substr(start, end - start));
        i = end;
    }
    s.bin = trimmed(text(BIN));
    s.ogm = trimmed(text(OGM));
    s.tfs = trimmed(text(TFS));
    s.results = trimmed(text(RESULTS));
    s.mode = static_cast<int>(selectedData(controls_[MODE]));
    s.baud = static_cast<long>(selectedData(controls_[SPEED]));
    return s;
}

void StationWindow::setSettings(const StationSettings& s) {
    base_ = s;
    std::string ports;
    for (const std::string& port : s.ports)
        ports += (ports.empty() ? "" : " ") + port;
    setText(controls_[PORTS], ports);
    setText(controls_[BIN], s.bin);
    setText(controls_[OGM], s.ogm);
    setText(controls_[TFS], s.tfs);
    setText(controls_[RESULTS], s.results);
    selectData(controls_[MODE], s.mode, L"");
    selectData(controls_[SPEED], s.baud, std::to_wstring(s.baud) + L" baud");
}

void StationWindow::setLocked(bool locked) {
    locked_ = locked;
    InvalidateRect(window_, &settingsFrame_, TRUE);
    for (Control field : {PORTS, BIN, OGM, TFS, RESULTS})
        SendMessageW(controls_[field], EM_SETREADONLY, locked, 0);
    for (HWND b : browse_)
        EnableWindow(b, !locked);
    EnableWindow(controls_[MODE], !locked);
    EnableWindow(controls_[SPEED], !locked);
}

void StationWindow::showImages(const std::vector<StationImage>& images) {
    for (int i = 0; i < 3; i++) {
        setText(controls_[BIN_TEXT + i], "");
        imageProblem_[i] = false;
    }
    for (const StationImage& image : images) {
        const int i = image.kind == "binary" ? 0
                      : image.kind == "ogm"  ? 1
                      : image.kind == "tfs"  ? 2
                                             : -1;
        if (i < 0) continue;
        imageProblem_[i] = image.size < 0;
        setText(controls_[BIN_TEXT + i], stationrun_ImageText(image));
        InvalidateRect(controls_[BIN_TEXT + i], nullptr, TRUE);
    }
}

void StationWindow::imagesEdited() {
    // A locked field that loses the focus finishes no edit.
    if (!locked_) showImages(station_ReadImages(settings()));
}

void StationWindow::browse(Control field) {
    static const wchar_t* const filters[] = {L"Binary images (*.bin)\0*.bin\0All files (*)\0*\0",
                                             L"ogm images (*.ogm)\0*.ogm\0All files (*)\0*\0",
                                             L"TFS images (*.tfs)\0*.tfs\0All files (*)\0*\0"};
    static const wchar_t* const titles[] = {L"Binary", L"ogm", L"TFS"};
    const int i = field - BIN;
    std::wstring path(32768, L'\0');
    const std::wstring now = wide(text(field));
    now.copy(path.data(), std::min(now.size(), path.size() - 1));
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = window_;
    open.lpstrFilter = filters[i];
    open.lpstrFile = path.data();
    open.nMaxFile = static_cast<DWORD>(path.size());
    open.lpstrTitle = titles[i];
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&open)) return;
    path.resize(wcslen(path.c_str()));
    setText(controls_[field], utf8(path));
    imagesEdited();
}

// --- The logs -----------------------------------------------------------------------------

void StationWindow::showLog(int port) {
    if (log_ == nullptr) {
        RECT place{};
        GetWindowRect(window_, &place);
        log_ = CreateWindowExW(0, kLogClass, L"Station log", WS_OVERLAPPEDWINDOW, place.left + 40,
                               place.top + 40, 900, 500, window_, nullptr,
                               GetModuleHandleW(nullptr), this);
        logText_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                       ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                   0, 0, 10, 10, log_, nullptr, nullptr, nullptr);
        SendMessageW(logText_, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), FALSE);
        SendMessageW(logText_, EM_SETLIMITTEXT, 0, 0);
        // Its own close: without a window manager the window has no frame to close it by.
        logClose_ = CreateWindowExW(
            0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 10,
            10, log_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogCloseId)), nullptr, nullptr);
        SendMessageW(logClose_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        RECT c{};
        GetClientRect(log_, &c);
        handleLog(log_, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    }
    const bool other = port != logWhose_;
    logWhose_ = port;
    if (other) logShown_ = ~0ul;
    refreshLog(true);
    ShowWindow(log_, SW_SHOW);
    SetForegroundWindow(log_);
}

void StationWindow::refreshLog(bool force) {
    if (logWhose_ >= static_cast<int>(run_.model.ports.size())) return;
    const unsigned long count = stationrun_LogCount(run_.model, logWhose_);
    SetWindowTextW(log_, wide(stationrun_LogTitle(run_.model, logWhose_)).c_str());
    if (!force && count == logShown_) return;
    const bool first = logShown_ == ~0ul;
    logShown_ = count;
    SCROLLINFO bar{};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_ALL;
    const bool atEnd = first || !GetScrollInfo(logText_, SB_VERT, &bar) ||
                       bar.nPos + static_cast<int>(bar.nPage) > bar.nMax;
    const LRESULT topLine = SendMessageW(logText_, EM_GETFIRSTVISIBLELINE, 0, 0);
    SetWindowTextW(logText_, crlf(stationrun_LogText(run_.model, logWhose_)).c_str());
    if (atEnd) {
        const int length = GetWindowTextLengthW(logText_);
        SendMessageW(logText_, EM_SETSEL, length, length);
        SendMessageW(logText_, EM_SCROLLCARET, 0, 0);
    } else {
        SendMessageW(logText_, EM_LINESCROLL, 0, topLine);
    }
}

std::string StationWindow::logText() const {
    std::string out;
    for (char c : windowText(logText_))
        if (c != '\r') out += c;
    return out;
}

LRESULT StationWindow::handleLog(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_SIZE: {
        const int width = LOWORD(l), height = HIWORD(l);
        const int fh = fontHeight(hwnd, font_);
        const int bh = fh + 14;
        MoveWindow(logText_, kMargin, kMargin, width - 2 * kMargin, height - 3 * kMargin - bh,
                   TRUE);
        MoveWindow(logClose_, width - kMargin - 110, height - kMargin - bh, 110, bh, TRUE);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(w) == kLogCloseId) ShowWindow(hwnd, SW_HIDE);
        return 0;
    case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return 0;
    default: return DefWindowProcW(hwnd, message, w, l);
    }
}

// --- The program --------------------------------------------------------------------------

std::string stationProgram() {
    wchar_t value[32768];
    const DWORD n = GetEnvironmentVariableW(L"DWL_STATION_PROGRAM", value, 32768);
    if (n > 0 && n < 32768) return utf8(value);
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        const std::wstring beside = path.substr(0, slash + 1) + L"dwl.exe";
        if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return utf8(beside);
    }
    return "dwl.exe";
}

namespace {

const wchar_t kSettingsKey[] = L"Software\\dwl\\dwl-gui\\station";

std::string readValue(HKEY key, const wchar_t* name) {
    wchar_t value[4096];
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return "";
    value[size / sizeof(wchar_t)] = L'\0';
    return utf8(value);
}

void writeValue(HKEY key, const wchar_t* name, const std::string& value) {
    const std::wstring w = wide(value);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                   static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

} // namespace

StationSettings restoreStationSettings() {
    StationSettings s;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return s;
    const std::string ports = readValue(key, L"ports");
    for (size_t i = 0; i < ports.size();) {
        const size_t end = std::min(ports.find('\n', i), ports.size());
        if (end > i) s.ports.push_back(ports.substr(i, end - i));
        i = end + 1;
    }
    s.bin = readValue(key, L"bin");
    s.ogm = readValue(key, L"ogm");
    s.tfs = readValue(key, L"tfs");
    const std::string mode = readValue(key, L"mode");
    s.mode = mode.empty() ? -1 : std::atoi(mode.c_str());
    s.baud = std::atol(readValue(key, L"baud").c_str());
    s.station = readValue(key, L"station");
    s.results = readValue(key, L"results");
    RegCloseKey(key);
    return s;
}

void keepStationSettings(const StationSettings& s) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    std::string ports;
    for (const std::string& port : s.ports)
        ports += port + "\n";
    writeValue(key, L"ports", ports);
    writeValue(key, L"bin", s.bin);
    writeValue(key, L"ogm", s.ogm);
    writeValue(key, L"tfs", s.tfs);
    writeValue(key, L"mode", std::to_string(s.mode));
    writeValue(key, L"baud", std::to_string(s.baud));
    writeValue(key, L"station", s.station);
    writeValue(key, L"results", s.results);
    RegCloseKey(key);
}

int runStationProgram(const std::vector<std::string>& options) {
    int status = 0;
    if (!dwl_OpenStationWindow(nullptr, options, &status)) return status;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(stationWindowHandle(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    finishStationWindow();
    return static_cast<int>(msg.wParam);
}

} // namespace dwlwin

namespace dwlwin {

// The station window of dwl-gui.exe (made on first use).
std::unique_ptr<StationWindow>& programStation() {
    static std::unique_ptr<StationWindow> station;
    return station;
}

namespace {

// The station window goes beside the main window only with this much room at least: its tiles
// are its purpose.
constexpr int kNarrowestBeside = 960;

} // namespace

void showStationWindow(HWND main) {
    std::unique_ptr<StationWindow>& station = programStation();
    if (!station) {
        const StationSettings kept = restoreStationSettings();
        station =
            std::make_unique<StationWindow>(nullptr, stationProgram(), kept, !kept.ports.empty());
        station->setSettingsKeeper(&keepStationSettings);
        // Beside the main window where the screen has room for it, else over it, whole on the
        // screen.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        RECT placed = work;
        RECT owner{};
        if (main != nullptr && GetWindowRect(main, &owner) &&
            work.right - owner.right >= kNarrowestBeside)
            placed.left = owner.right;
        SetWindowPos(station->hwnd(), nullptr, placed.left, placed.top, placed.right - placed.left,
                     placed.bottom - placed.top, SWP_NOZORDER);
    }
    ShowWindow(station->hwnd(), SW_SHOW);
    SetForegroundWindow(station->hwnd());
}

HWND stationWindowHandle() {
    return programStation() ? programStation()->hwnd() : nullptr;
}

void finishStationWindow() {
    std::unique_ptr<StationWindow>& station = programStation();
    if (station && station->run().phase != STATION_IDLE) {
        // A station still running keeps its window until the operator closes it (which asks).
        bool closed = false;
        station->setClosedObserver([&closed] { closed = true; });
        ShowWindow(station->hwnd(), SW_SHOW);
        SetForegroundWindow(station->hwnd());
        MSG msg;
        while (!closed && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (IsDialogMessageW(station->hwnd(), &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        station->setClosedObserver(nullptr);
    }
    station.reset();
}

} // namespace dwlwin

bool dwl_OpenStationWindow(HWND owner, const std::vector<std::string>& args, int* status) {
    using namespace dwlwin;
    if (status != nullptr) *status = 0;
    if (owner != nullptr || (args.empty() && programStation())) {
        showStationWindow(owner);
        return true;
    }
    // Alone: the settings of the last start unless the options name others; the window ends
    // the program's loop when it closes.
    StationSettings settings = restoreStationSettings();
    bool start = false;
    std::string why;
    if (!station_ParseOptions(args, &settings, &start, &why)) {
        std::fprintf(stderr, "dwl-gui: %s\n", why.c_str());
        std::fflush(stderr);
        askQuestion(nullptr, "dwl-gui", "dwl-gui: " + why, "", {"OK"}, 0, 0);
        if (status != nullptr) *status = 64;
        return false;
    }
    std::unique_ptr<StationWindow>& station = programStation();
    station = std::make_unique<StationWindow>(nullptr, stationProgram(), settings,
                                              !settings.ports.empty());
    station->setSettingsKeeper(&keepStationSettings);
    station->setClosedObserver([] { PostQuitMessage(0); });
    // The station's own screen, also where no window manager maximises it.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(station->hwnd(), nullptr, work.left, work.top, work.right - work.left,
                 work.bottom - work.top, SWP_NOZORDER);
    ShowWindow(station->hwnd(), SW_SHOWMAXIMIZED);
    if (start) station->start();
    return true;
}

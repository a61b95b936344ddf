#include "platform/windows/gui/win32_sector_map.h"

#include "flash/dwl10sectormap.h"
#include "platform/windows/gui/win32_view.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kCell = 14;
constexpr int kGap = 2;
constexpr int kRangeBar = 3;
constexpr int kMargin = 8;
constexpr int kColumns = 32;
// The narrowest the map is made to fit beside the main window, in columns of sectors.
constexpr int kMinColumns = 8;
constexpr int kLabel = 80;
constexpr int kFollowMsecs = 100;
constexpr int kBesideGap = 8;
constexpr int kClose = 1;
const wchar_t kMapClass[] = L"dwlSectorMap";

struct Map {
    Win32UiView* view = nullptr;
    HWND hwnd = nullptr;
    HWND close = nullptr;
    HFONT font = nullptr;
    int dpi = 96;
    unsigned seen = 0;
    unsigned lastCount = 0;
    int hover = -1;
    int columns = kColumns; // as many as fit beside the main window
};

Map& map() {
    static Map m;
    return m;
}

int s(int v) {
    return MulDiv(v, map().dpi, 96);
}

COLORREF stateColour(uint8_t state) {
    switch (state) {
    case SECTOR_WRITING: return RGB(255, 210, 0);
    case SECTOR_WRITTEN: return RGB(40, 170, 60);
    case SECTOR_RESENT: return RGB(0, 150, 220);
    case SECTOR_FAILED: return RGB(220, 40, 40);
    case SECTOR_CANCELLED: return RGB(140, 140, 140);
    default: return RGB(225, 225, 225);
    }
}

COLORREF imageColour(uint8_t image) {
    switch (image) {
    case SECTOR_BINARY: return RGB(60, 60, 60);
    case SECTOR_OGM: return RGB(150, 60, 170);
    default: return RGB(230, 130, 20);
    }
}

const char* imageName(uint8_t image) {
    switch (image) {
    case SECTOR_BINARY: return "binary";
    case SECTOR_OGM: return "ogm";
    case SECTOR_TFS: return "TFS";
    default: return "no image";
    }
}

int columns() {
    return std::max<int>(1, std::min<int>(map().columns, static_cast<int>(sg_SectorMap.NbSectors)));
}

int gridWidth(int cols) {
    return kMargin + kLabel + cols * (kCell + kGap) + kMargin;
}

// The legend's entries in lines that fit the width; the states first, the ranges on their own.
constexpr int kLegendEntry = kCell + 4 + 72;
int legendPerLine() {
    return std::max(1, (gridWidth(map().columns) - 2 * kMargin) / kLegendEntry);
}
int legendLines() {
    const int per = legendPerLine();
    return (6 + per - 1) / per + (3 + per - 1) / per;
}

int rows() {
    const int count = static_cast<int>(std::max<uint32_t>(sg_SectorMap.NbSectors, 1));
    return (count + columns() - 1) / columns();
}

RECT cellRect(int index) {
    const int col = index % columns();
    const int row = index / columns();
    const int x = s(kMargin + kLabel + col * (kCell + kGap));
    const int y = s(kMargin + row * (kCell + kRangeBar + 2 * kGap));
    return {x, y, x + s(kCell), y + s(kCell)};
}

int legendTop() {
    return kMargin + rows() * (kCell + kRangeBar + 2 * kGap) + kMargin;
}

SIZE clientSize() {
    // The grid, the legend, the line about the sector under the mouse, Close.
    const int height = legendTop() + (legendLines() + 1) * (kCell + 6) + 28 + kMargin;
    return {s(gridWidth(map().columns)), s(height)};
}

void fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void text(HDC dc, int x, int y, const std::string& t) {
    const std::wstring w = win32_Wide(t);
    TextOutW(dc, x, y, w.c_str(), static_cast<int>(w.size()));
}

std::string hoverText() {
    const int i = map().hover;
    if (i < 0 || static_cast<uint32_t>(i) >= sg_SectorMap.NbSectors) return "";
    const SectorRecord& r = sg_SectorMap.Sector[i];
    char line[200];
    std::snprintf(line, sizeof line, "sector %d at 0x%08x, %u bytes, %s: %s, %u bytes sent, %u %s",
                  i, r.Address, r.Size, imageName(r.Image), dwl10_87SectorStateName(r.State),
                  r.BytesSent, static_cast<unsigned>(r.Tries), dwl10_88TriesWord(r.Tries));
    return line;
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client{};
    GetClientRect(hwnd, &client);
    fill(dc, client, GetSysColor(COLOR_BTNFACE));
    HGDIOBJ oldFont = SelectObject(dc, map().font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const uint32_t count = sg_SectorMap.NbSectors;
    if (count == 0) {
        text(dc, s(kMargin), s(kMargin), "No flash identified yet");
    } else {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(120, 120, 120));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        for (uint32_t i = 0; i < count; ++i) {
            const SectorRecord& r = sg_SectorMap.Sector[i];
            const RECT cell = cellRect(static_cast<int>(i));
            if (static_cast<int>(i) % columns() == 0) {
                char address[16];
                std::snprintf(address, sizeof address, "0x%08x", r.Address);
                text(dc, s(kMargin), cell.top - 1, address);
            }
            fill(dc, cell, stateColour(r.State));
            Rectangle(dc, cell.left, cell.top, cell.right, cell.bottom);
            if (r.Image != SECTOR_NO_IMAGE)
                fill(dc,
                     {cell.left, cell.bottom + s(1), cell.right, cell.bottom + s(1 + kRangeBar)},
                     imageColour(r.Image));
        }
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
    }
    // The legend: the states, then the ranges on a line of their own.
    int x = s(kMargin);
    int y = s(legendTop());
    int onLine = 0;
    auto entry = [&](COLORREF colour, bool bar, const char* name) {
        if (onLine == legendPerLine()) {
            x = s(kMargin);
            y += s(kCell + 6);
            onLine = 0;
        }
        onLine++;
        const RECT mark =
            bar ? RECT{x, y + s(kCell / 2), x + s(kCell), y + s(kCell / 2 + kRangeBar)}
                : RECT{x, y, x + s(kCell), y + s(kCell)};
        fill(dc, mark, colour);
        text(dc, x + s(kCell + 4), y, name);
        x += s(kLegendEntry);
    };
    for (uint8_t state : {SECTOR_UNTOUCHED, SECTOR_WRITING, SECTOR_WRITTEN, SECTOR_RESENT,
                          SECTOR_FAILED, SECTOR_CANCELLED})
        entry(stateColour(state), false, dwl10_87SectorStateName(state));
    x = s(kMargin);
    y += s(kCell + 6);
    onLine = 0;
    for (uint8_t image : {SECTOR_BINARY, SECTOR_OGM, SECTOR_TFS})
        entry(imageColour(image), true, imageName(image));
    text(dc, s(kMargin), y + s(kCell + 6), hoverText());
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

void placeBesideMainWindow() {
    Map& m = map();
    HWND main = m.view != nullptr ? m.view->mainWindow() : nullptr;
    RECT frame{0, 0, 0, 0};
    if (main != nullptr) GetWindowRect(main, &frame);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &info);
    const RECT& screen = info.rcWork;
    RECT deco{0, 0, 0, 0};
    AdjustWindowRectEx(&deco, static_cast<DWORD>(GetWindowLongPtrW(m.hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m.hwnd, GWL_EXSTYLE)));
    const int decoW = deco.right - deco.left;
    // The columns that fit a room of that many pixels.
    auto fitting = [&](int room) {
        const int inside = MulDiv(room - decoW, 96, m.dpi) - gridWidth(0);
        return std::min(kColumns, inside / (kCell + kGap));
    };
    const int right = fitting(screen.right - frame.right - kBesideGap);
    const int left = fitting(frame.left - screen.left - kBesideGap);
    // Right of the main window, else left of it, narrower if need be; else at the screen's
    // right edge, over the main window's right part.
    int side = 0;
    if (right >= kMinColumns) {
        m.columns = right;
        side = 1;
    } else if (left >= kMinColumns) {
        m.columns = left;
        side = -1;
    } else {
        m.columns = kColumns;
    }
    SIZE size = clientSize();
    // No taller than the screen: the grid's end may be cut, its Close stays in reach.
    const int decoH = deco.bottom - deco.top;
    size.cy = std::min(size.cy, static_cast<LONG>(screen.bottom - screen.top - decoH));
    RECT r{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(m.hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m.hwnd, GWL_EXSTYLE)));
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int x = side > 0   ? frame.right + kBesideGap
                  : side < 0 ? frame.left - kBesideGap - w
                             : screen.right - w;
    const int y =
        std::clamp(static_cast<int>(frame.top), static_cast<int>(screen.top),
                   std::max(static_cast<int>(screen.top), static_cast<int>(screen.bottom) - h));
    SetWindowPos(m.hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m.close, nullptr, size.cx - s(kMargin + 80), size.cy - s(kMargin + 26), s(80),
                 s(26), SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(m.hwnd, nullptr, TRUE);
}

LRESULT CALLBACK mapProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: paint(hwnd); return 0;
    case WM_TIMER: win32_FollowSectorMap(); return 0;
    case WM_MOUSEMOVE: {
        const int at = win32_SectorAt(
            {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        if (at != map().hover) {
            map().hover = at;
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kClose) ShowWindow(hwnd, SW_HIDE);
        return 0;
    case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace

int win32_SectorAt(POINT point) {
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        RECT cell = cellRect(static_cast<int>(i));
        cell.bottom += s(kRangeBar + kGap);
        if (PtInRect(&cell, point)) return static_cast<int>(i);
    }
    return -1;
}

void win32_FollowSectorMap() {
    Map& m = map();
    if (m.hwnd == nullptr || sg_SectorMap.Changes == m.seen) return;
    m.seen = sg_SectorMap.Changes;
    // A new run identified its flash: the window comes up, even if the operator closed it.
    if (sg_SectorMap.NbSectors > 0 && m.lastCount == 0 && !IsWindowVisible(m.hwnd)) {
        placeBesideMainWindow();
        ShowWindow(m.hwnd, SW_SHOWNOACTIVATE);
    } else if (sg_SectorMap.NbSectors != m.lastCount) {
        placeBesideMainWindow();
    }
    m.lastCount = sg_SectorMap.NbSectors;
    InvalidateRect(m.hwnd, nullptr, FALSE);
}

void win32_InstallSectorMap(Win32UiView& view) {
    Map& m = map();
    if (m.hwnd != nullptr) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &mapProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kMapClass;
    RegisterClassExW(&wc);
    m.view = &view;
    m.hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kMapClass, L"Sector map",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, 100, 100, view.mainWindow(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (m.hwnd == nullptr) return;
    HDC dc = GetDC(m.hwnd);
    m.dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ReleaseDC(m.hwnd, dc);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    m.font = CreateFontIndirectW(&metrics.lfMessageFont);
    m.close = CreateWindowExW(0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10,
                              10, m.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kClose)),
                              GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m.close, WM_SETFONT, reinterpret_cast<WPARAM>(m.font), FALSE);
    m.seen = sg_SectorMap.Changes;
    m.lastCount = sg_SectorMap.NbSectors;
    SetTimer(m.hwnd, 1, kFollowMsecs, nullptr);
}

void win32_RemoveSectorMap() {
    Map& m = map();
    if (m.hwnd != nullptr) DestroyWindow(m.hwnd);
    if (m.font != nullptr) DeleteObject(m.font);
    m = {};
}

void win32_ShowSectorMap() {
    Map& m = map();
    if (m.hwnd == nullptr) return;
    if (!IsWindowVisible(m.hwnd)) placeBesideMainWindow();
    ShowWindow(m.hwnd, SW_SHOW);
    SetForegroundWindow(m.hwnd);
}

HWND win32_SectorMapWindow() {
    return map().hwnd;
}

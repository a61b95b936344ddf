#include "platform/windows/gui/win32_view.h"

#include "platform/windows/gui/station_window.h"
#include "platform/windows/gui/win32_panel.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <filesystem>

namespace {

Win32UiView* installed = nullptr;

const wchar_t kDispatcherClass[] = L"dwlDispatcher";
constexpr UINT kDispatchMessage = WM_APP + 1;
constexpr UINT kBuryMessage = WM_APP + 2;
constexpr UINT kTaskMessage = WM_APP + 3;
constexpr UINT kShowMessage = WM_APP + 4;
constexpr UINT_PTR kTickTimer = 1;

LRESULT CALLBACK dispatcherProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<Win32UiView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (view != nullptr) {
        if (msg == kDispatchMessage) {
            view->dispatchPosted();
            return 0;
        }
        if (msg == kTaskMessage) {
            view->runLater();
            return 0;
        }
        if (msg == kShowMessage) {
            view->showChanges();
            return 0;
        }
        if (msg == kBuryMessage) {
            view->bury();
            return 0;
        }
        if (msg == WM_TIMER && wParam == kTickTimer) {
            view->onTimer();
            return 0;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool isFolder(const std::wstring& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

std::wstring environment(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD n = GetEnvironmentVariableW(name, value, 32768);
    return n > 0 && n < 32768 ? std::wstring(value, n) : std::wstring();
}

} // namespace

// --- Texts -----------------------------------------------------------------------------------

std::wstring win32_Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string win32_Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string win32_WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return win32_Utf8(text);
}

Win32FileDialog win32_FileDialogFor(const char* requestedFolder, const char* fileType,
                                    const char* title, bool save) {
    Win32FileDialog d;
    d.save = save;
    d.title = win32_Wide(title != nullptr ? title : "");
    const std::wstring type = win32_Wide(fileType != nullptr ? fileType : "");
    if (!type.empty()) {
        d.filter += type + L'\0' + type + L'\0';
        // "*.bin": a name typed without its extension gets it.
        const size_t dot = type.rfind(L'.');
        if (save && dot != std::wstring::npos && type.find(L';') == std::wstring::npos &&
            type.find(L'*', dot) == std::wstring::npos)
            d.defaultExtension = type.substr(dot + 1);
    }
    d.filter += std::wstring(L"All files (*.*)") + L'\0' + L"*.*" + L'\0';
    const std::wstring wanted = win32_Wide(requestedFolder != nullptr ? requestedFolder : "");
    std::wstring folder;
    if (isFolder(wanted)) {
        folder = wanted;
    } else if (!(folder = environment(L"DWL_IMAGES_DIR")).empty()) {
    } else if (const std::wstring profile = environment(L"USERPROFILE");
               isFolder(profile + L"\\images")) {
        folder = profile + L"\\images";
    } else {
        std::error_code ec;
        folder = std::filesystem::current_path(ec).wstring();
    }
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    d.folder = folder;
    return d;
}

// --- The view --------------------------------------------------------------------------------

Win32UiView::Win32UiView() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &dispatcherProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kDispatcherClass;
    RegisterClassExW(&wc);
    dispatcher_ = CreateWindowExW(0, kDispatcherClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(dispatcher_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32UiView::~Win32UiView() {
    if (installed == this) {
        uis_SetView(nullptr);
        installed = nullptr;
    }
    // Owned windows before their owner.
    graveyard_.clear();
    while (!panels_.empty())
        panels_.erase(std::prev(panels_.end()));
    if (dispatcher_ != nullptr) {
        SetWindowLongPtrW(dispatcher_, GWLP_USERDATA, 0);
        DestroyWindow(dispatcher_);
    }
}

void Win32UiView::install() {
    installed = this;
    uis_SetViewOfLivePanels(this, [](const UiView* view, int panel) {
        return static_cast<const Win32UiView*>(view)->find(panel) != nullptr;
    });
}

Win32UiView* Win32UiView::active() {
    return installed;
}

Win32Panel* Win32UiView::find(int panel) const {
    auto it = panels_.find(panel);
    return it == panels_.end() ? nullptr : it->second.get();
}

HWND Win32UiView::window(int panel) const {
    Win32Panel* p = find(panel);
    return p != nullptr ? p->hwnd : nullptr;
}

HWND Win32UiView::mainWindow() const {
    return window(mainPanel_);
}

HWND Win32UiView::controlWindow(int panel, int control) const {
    Win32Panel* p = find(panel);
    Win32Control* c = p != nullptr ? p->control(control) : nullptr;
    return c != nullptr ? c->hwnd : nullptr;
}

HWND Win32UiView::captionWindow(int panel, int control) const {
    Win32Panel* p = find(panel);
    Win32Control* c = p != nullptr ? p->control(control) : nullptr;
    return c != nullptr ? c->caption : nullptr;
}

HMENU Win32UiView::menuBar(int panel) const {
    Win32Panel* p = find(panel);
    return p != nullptr ? GetMenu(p->hwnd) : nullptr;
}

int Win32UiView::menuBarHandle(int panel) const {
    Win32Panel* p = find(panel);
    return p != nullptr ? p->menuBarHandle : 0;
}

bool Win32UiView::lit(int panel, int control) const {
    Win32Panel* p = find(panel);
    Win32Control* c = p != nullptr ? p->control(control) : nullptr;
    return c != nullptr && c->lit;
}

// --- Operator actions ------------------------------------------------------------------------

void Win32UiView::scheduleDispatch() {
    if (dispatchScheduled_) return;
    dispatchScheduled_ = true;
    PostMessageW(dispatcher_, kDispatchMessage, 0, 0);
}

void Win32UiView::dispatchPosted() {
    dispatchScheduled_ = false;
    if (suspended_ > 0) {
        dispatchDeferred_ = true;
        return;
    }
    uis_DispatchEvents();
    fileAnswers_.clear();
}

void Win32UiView::suspendDispatch() {
    suspended_++;
}

void Win32UiView::resumeDispatch() {
    if (suspended_ > 0) suspended_--;
    if (suspended_ == 0 && dispatchDeferred_) {
        dispatchDeferred_ = false;
        scheduleDispatch();
    }
}

void Win32UiView::deliverWhileWaiting() {
    gathering_ = true;
    deliverPendingInput();
}

void Win32UiView::deliverPendingInput() {
    if (delivering_) return;
    delivering_ = true;
    suspendDispatch();
    processEvents();
    // Operator actions that came meanwhile run at the panel code's next event pump, or once the
    // message loop has the thread again (runEventLoop posts them then): posted now, they would
    // end the wait that delivered them at once, and every wait after it.
    suspended_--;
    delivering_ = false;
}

void Win32UiView::setDropHandler(DropHandler handler) {
    dropHandler_ = std::move(handler);
}

void Win32UiView::filesDropped(const std::vector<std::string>& paths) {
    if (dropHandler_) dropHandler_(paths);
}

void Win32UiView::setTicker(int periodMsecs, std::function<void()> tick) {
    tick_ = std::move(tick);
    if (tick_ && periodMsecs > 0)
        SetTimer(dispatcher_, kTickTimer, static_cast<UINT>(periodMsecs), nullptr);
    else
        KillTimer(dispatcher_, kTickTimer);
}

void Win32UiView::later(std::function<void()> task) {
    tasks_.push_back(std::move(task));
    PostMessageW(dispatcher_, kTaskMessage, 0, 0);
}

void Win32UiView::runLater() {
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    task();
}

void Win32UiView::onTimer() {
    if (tick_) tick_();
}

// --- Panels ----------------------------------------------------------------------------------

void Win32UiView::panelLoaded(int panel) {
    const UiPanel* p = uis_Panel(panel);
    if (p == nullptr || find(panel) != nullptr) return;
    const bool first = mainWindow() == nullptr;
    auto made = std::make_unique<Win32Panel>(*this, *p, first ? nullptr : mainWindow());
    if (made->hwnd == nullptr) return;
    if (first) mainPanel_ = panel;
    panels_[panel] = std::move(made);
}

void Win32UiView::panelDisplayed(int panel) {
    Win32Panel* p = find(panel);
    if (p == nullptr) return;
    p->centreOnOwner();
    ShowWindow(p->hwnd, SW_SHOW);
    if (!p->main) {
        SetForegroundWindow(p->hwnd);
        if (p->defaultButton != 0) SetFocus(p->control(p->defaultButton)->hwnd);
    }
    UpdateWindow(p->hwnd);
}

void Win32UiView::panelHidden(int panel) {
    if (Win32Panel* p = find(panel)) ShowWindow(p->hwnd, SW_HIDE);
}

void Win32UiView::panelDiscarded(int panel) {
    auto it = panels_.find(panel);
    if (it == panels_.end()) return;
    std::unique_ptr<Win32Panel> gone = std::move(it->second);
    panels_.erase(it);
    if (panel == mainPanel_) mainPanel_ = 0;
    // The owner gets the keyboard back before the window goes.
    if (gone->owner != nullptr && GetForegroundWindow() == gone->hwnd)
        SetForegroundWindow(gone->owner);
    ShowWindow(gone->hwnd, SW_HIDE);
    // A callback of one of its own controls, or a menu of it still open, may be what discards
    // it: the window goes from the message loop.
    graveyard_.push_back(std::move(gone));
    PostMessageW(dispatcher_, kBuryMessage, 0, 0);
}

void Win32UiView::bury() {
    graveyard_.clear();
}

void Win32UiView::menuBarLoaded(int menuBar, int panel) {
    if (Win32Panel* p = find(panel)) p->attachMenuBar(menuBar);
}

void Win32UiView::menuBarDiscarded(int menuBar, int panel) {
    Win32Panel* p = find(panel);
    if (p != nullptr && p->menuBarHandle == menuBar) p->detachMenuBar();
}

void Win32UiView::controlChanged(int panel, int control) {
    if (gathering_) {
        // One message shows all that gathers until it comes.
        if (changed_.empty()) PostMessageW(dispatcher_, kShowMessage, 0, 0);
        changed_.emplace_back(panel, control);
    } else {
        show(panel, control);
    }
    for (const ChangeObserver& observer : observers_)
        observer(panel, control);
}

void Win32UiView::showChanges() {
    std::vector<std::pair<int, int>> changed;
    changed.swap(changed_);
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    for (const auto& [panel, control] : changed)
        show(panel, control);
}

void Win32UiView::show(int panel, int control) {
    if (find(panel) == nullptr) return;
    const UiControl* state = uis_Control(panel, control);
    HWND hwnd = controlWindow(panel, control);
    if (state != nullptr && !state->dimmed && hwnd != nullptr && !IsWindowEnabled(hwnd)) {
        // Input the system still holds was made while the control was dimmed: it meets the
        // control dimmed, before the control comes back.
        deliverPendingInput();
    }
    if (Win32Panel* p = find(panel)) p->refresh(control);
}

// --- Message loop ----------------------------------------------------------------------------

void Win32UiView::deliver(MSG& msg) {
    // Tab, Shift-Tab and Enter move and press as in a dialog.
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && (win32_IsPanelWindow(root) || root == dwlwin::stationWindowHandle()) &&
        IsDialogMessageW(root, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32UiView::postDeferredDispatch() {
    if (suspended_ > 0 || !dispatchDeferred_) return;
    dispatchDeferred_ = false;
    scheduleDispatch();
}

void Win32UiView::processEvents() {
    postDeferredDispatch();
    // The panel code's own event pump, between a reply and the next command of a run that
    // gathers its changes, takes the operator's input and the timers only: showing the changes
    // and painting wait for the line's next wait, where the hook delivers everything.
    const bool inputOnly = gathering_ && !delivering_;
    const UINT which = inputOnly ? PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE : 0;
    bool showLater = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | which)) {
        if (msg.message == WM_QUIT) {
            quitEventLoop();
            continue;
        }
        if (inputOnly && msg.hwnd == dispatcher_ && msg.message == kShowMessage) {
            showLater = true;
            continue;
        }
        deliver(msg);
    }
    if (showLater) PostMessageW(dispatcher_, kShowMessage, 0, 0);
}

void Win32UiView::runEventLoop() {
    // Actions posted before the loop started.
    if (uis_PendingEvents() > 0) scheduleDispatch();
    if (uis_QuitRequested()) return;
    loopDepth_++;
    MSG msg;
    while (quitsPending_ == 0) {
        // A run that waited on the line has ended: what it changed is shown, and the next
        // changes are shown as they come.
        if (gathering_) {
            gathering_ = false;
            showChanges();
        }
        postDeferredDispatch();
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        deliver(msg);
    }
    if (quitsPending_ > 0) quitsPending_--;
    loopDepth_--;
}

void Win32UiView::quitEventLoop() {
    if (loopDepth_ == 0) return;
    quitsPending_++;
    PostMessageW(dispatcher_, WM_NULL, 0, 0); // wakes GetMessage
}

// --- Pop-ups ---------------------------------------------------------------------------------

HWND Win32UiView::dialogOwner() const {
    HWND active = GetActiveWindow();
    if (active != nullptr && win32_IsPanelWindow(active)) return active;
    return mainWindow();
}

void Win32UiView::setPopupAnswers(MessageAnswer message, FileAnswer file) {
    messageAnswer_ = std::move(message);
    fileAnswer_ = std::move(file);
}

int Win32UiView::runFileDialog(const Win32FileDialog& d, std::string& path) {
    if (fileAnswer_) return fileAnswer_(d, path);
    // Room for the long paths of NTFS, not only MAX_PATH.
    std::wstring buffer(32768, L'\0');
    std::copy(d.fileName.begin(), d.fileName.end(), buffer.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialogOwner();
    ofn.lpstrFilter = d.filter.c_str(); // the pairs, and a NUL after the last
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = d.folder.empty() ? nullptr : d.folder.c_str();
    ofn.lpstrTitle = d.title.empty() ? nullptr : d.title.c_str();
    ofn.lpstrDefExt = d.defaultExtension.empty() ? nullptr : d.defaultExtension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                (d.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    suspendDispatch();
    const BOOL chosen = d.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    resumeDispatch();
    if (!chosen) return VAL_NO_FILE_SELECTED;
    const std::wstring file(buffer.c_str());
    if (file.empty()) return VAL_NO_FILE_SELECTED;
    path = win32_Utf8(file);
    std::error_code ec;
    return d.save && !std::filesystem::exists(file, ec) ? VAL_NEW_FILE_SELECTED
                                                        : VAL_EXISTING_FILE_SELECTED;
}

int Win32UiView::fileSelect(const char* defaultDirectory, const char* fileType, const char* title,
                            std::string& path) {
    if (!fileAnswers_.empty()) {
        path = fileAnswers_.front();
        fileAnswers_.pop_front();
        return VAL_EXISTING_FILE_SELECTED;
    }
    const std::vector<UiFileRequest>& requests = uis_FileRequests();
    const bool save = !requests.empty() && requests.back().buttonLabel == "Save";
    return runFileDialog(win32_FileDialogFor(defaultDirectory, fileType, title, save), path);
}

void Win32UiView::message(const char* title, const char* text) {
    const std::string t = title != nullptr ? title : "";
    const std::string m = text != nullptr ? text : "";
    if (messageAnswer_) {
        messageAnswer_(t, m);
        return;
    }
    suspendDispatch();
    MessageBoxW(dialogOwner(), win32_Wide(m).c_str(), win32_Wide(t).c_str(),
                MB_OK | MB_ICONINFORMATION);
    resumeDispatch();
}

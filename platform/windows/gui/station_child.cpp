#include "platform/windows/gui/station_child.h"

#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace dwlwin {

namespace {

// Two interrupts sent at once could reach the station as one.
constexpr DWORD kBetweenInterruptsMsecs = 300;
// Tells the station to read its standard input for its stops.
const wchar_t kStopPipeVariable[] = L"DWL_STOP_PIPE";

void post(HWND window, UINT message, StationChildPost kind, unsigned run, std::string text) {
    auto* posted = new StationChildText{run, std::move(text)};
    if (!PostMessageW(window, message, kind, reinterpret_cast<LPARAM>(posted))) delete posted;
}

// Reads a pipe to its end, posting each line without its line end; what is left at the end
// without one is a line too.
void readLines(int pipe, HWND window, UINT message, StationChildPost kind, unsigned run) {
    std::string pending;
    char buffer[4096];
    int got = 0;
    while ((got = _read(pipe, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<size_t>(got));
        size_t from = 0;
        for (size_t end; (end = pending.find('\n', from)) != std::string::npos; from = end + 1) {
            size_t last = end;
            while (last > from && pending[last - 1] == '\r')
                last--;
            post(window, message, kind, run, pending.substr(from, last - from));
        }
        pending.erase(0, from);
    }
    if (!pending.empty()) post(window, message, kind, run, pending);
}

std::string endText(int code) {
    // An exception's code (0xC0000005 and the like) is no exit status a program gives.
    if (dwl_ChildExitStatus(code, -1) < 0) {
        char text[80];
        std::snprintf(text, sizeof text, "the station ended abnormally (exception 0x%08X)",
                      static_cast<unsigned>(code));
        return text;
    }
    return "the station ended with exit status " + std::to_string(code);
}

} // namespace

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return L"";
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return "";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

StationChild::StationChild(HWND window, UINT message)
    : window_(window), message_(message), gone_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

StationChild::~StationChild() {
    end(10000);
    CloseHandle(gone_);
}

bool StationChild::start(const std::string& program, const std::vector<std::string>& args,
                         unsigned run, std::string* problem) {
    if (running_) return false;
    join();
    ChildOptions options;
    options.in = kChildPipe;
    options.out = kChildPipe;
    options.err = kChildPipe;
    options.ownGroup = true;
    options.noConsoleWindow = true;
    SetEnvironmentVariableW(kStopPipeVariable, L"1");
    const bool started = dwl_StartProgram(program, args, options, &child_);
    SetEnvironmentVariableW(kStopPipeVariable, nullptr);
    if (!started) {
        *problem = std::strerror(child_.error);
        return false;
    }
    ResetEvent(gone_);
    running_ = true;
    ChildHandle watched = child_;
    HWND window = window_;
    UINT message = message_;
    HANDLE gone = gone_;
    std::atomic<bool>* running = &running_;
    watcher_ = std::thread([=]() mutable {
        std::thread err(readLines, watched.err, window, message, STATION_ERR_LINE, run);
        readLines(watched.out, window, message, STATION_OUT_LINE, run);
        err.join();
        int status = 0;
        dwl_WaitChild(&watched, -1, &status);
        *running = false;
        SetEvent(gone);
        post(window, message, STATION_ENDED, run, endText(status));
    });
    return true;
}

void StationChild::interrupt() {
    if (running_) dwl_SignalChild(child_, SIGINT);
}

void StationChild::end(int msecs) {
    if (running_) {
        interrupt();
        if (WaitForSingleObject(gone_, kBetweenInterruptsMsecs) == WAIT_TIMEOUT) {
            interrupt();
            if (WaitForSingleObject(gone_, static_cast<DWORD>(msecs)) == WAIT_TIMEOUT)
                dwl_SignalChild(child_, 9); // SIGKILL's number: terminated
        }
    }
    join();
}

void StationChild::join() {
    // The pipes end with the station and its ports' processes, which end with its stop pipe.
    if (watcher_.joinable()) watcher_.join();
    dwl_CloseChildPipes(&child_);
    child_ = ChildHandle{};
}

} // namespace dwlwin

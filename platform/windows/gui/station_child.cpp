#include "platform/windows/gui/station_child.h"

#include "platform/windows/system/system_error.h"

#include <cstdio>

namespace dwlwin {

namespace {

// Two interrupts sent at once could reach the station as one.
constexpr DWORD kBetweenInterruptsMsecs = 300;
// A stop on the station's standard input: the number of the interrupt (SIGINT's, as a Ctrl-C
// at a console), one byte each, as dwl.exe's first process stops its ports' processes; the end
// of the pipe is a hang-up. The variable tells the station to read it.
constexpr char kInterruptByte = 2;
const wchar_t kStopPipeVariable[] = L"DWL_STOP_PIPE";

void post(HWND window, UINT message, StationChildPost kind, unsigned run, std::string text) {
    auto* posted = new StationChildText{run, std::move(text)};
    if (!PostMessageW(window, message, kind, reinterpret_cast<LPARAM>(posted))) delete posted;
}

// Reads a pipe to its end, posting each line without its line end; what is left at the end
// without one is a line too.
void readLines(HANDLE pipe, HWND window, UINT message, StationChildPost kind, unsigned run) {
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
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
    CloseHandle(pipe);
}

std::string endText(DWORD code) {
    // An exception's code (0xC0000005 and the like) is no exit status a program gives.
    if (code >= 0xC0000000u) {
        char text[80];
        std::snprintf(text, sizeof text, "the station ended abnormally (exception 0x%08lX)",
                      static_cast<unsigned long>(code));
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

std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& args) {
    std::wstring line;
    auto add = [&line](const std::wstring& arg) {
        if (!line.empty()) line += L' ';
        if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += arg;
            return;
        }
        // Backslashes double only before a quote (and before the closing one).
        line += L'"';
        size_t slashes = 0;
        for (wchar_t c : arg) {
            if (c == L'\\') {
                slashes++;
                continue;
            }
            line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
            slashes = 0;
            line += c;
        }
        line.append(slashes * 2, L'\\');
        line += L'"';
    };
    add(program);
    for (const std::wstring& arg : args)
        add(arg);
    return line;
}

bool StationChild::start(const std::string& program, const std::vector<std::string>& args,
                         unsigned run, std::string* problem) {
    if (running()) return false;
    join();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    HANDLE inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0) ||
        !CreatePipe(&inRead, &inWrite, &inherit, 0)) {
        *problem = systemErrorText(GetLastError());
        for (HANDLE h : {outRead, outWrite, errRead, errWrite})
            if (h != nullptr) CloseHandle(h);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::vector<std::wstring> wideArgs;
    for (const std::string& arg : args)
        wideArgs.push_back(wide(arg));
    const std::wstring programW = wide(program);
    std::wstring line = commandLine(programW, wideArgs);
    PROCESS_INFORMATION info{};
    // The program is looked for as the system looks for a command's when it is not a path.
    SetEnvironmentVariableW(kStopPipeVariable, L"1");
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &info);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(kStopPipeVariable, nullptr);
    for (HANDLE h : {outWrite, errWrite, inRead})
        CloseHandle(h);
    if (!started) {
        for (HANDLE h : {outRead, errRead, inWrite})
            CloseHandle(h);
        *problem = systemErrorText(error);
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    stopPipe_ = inWrite;
    HWND window = window_;
    UINT message = message_;
    HANDLE process = process_;
    watcher_ = std::thread([=] {
        std::thread err(readLines, errRead, window, message, STATION_ERR_LINE, run);
        readLines(outRead, window, message, STATION_OUT_LINE, run);
        err.join();
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        post(window, message, STATION_ENDED, run, endText(code));
    });
    return true;
}

bool StationChild::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void StationChild::interrupt() {
    if (!running() || stopPipe_ == nullptr) return;
    DWORD written = 0;
    WriteFile(stopPipe_, &kInterruptByte, 1, &written, nullptr);
}

void StationChild::end(int msecs) {
    if (running()) {
        interrupt();
        if (WaitForSingleObject(process_, kBetweenInterruptsMsecs) == WAIT_TIMEOUT) {
            interrupt();
            if (WaitForSingleObject(process_, static_cast<DWORD>(msecs)) == WAIT_TIMEOUT)
                TerminateProcess(process_, 1);
        }
    }
    join();
}

void StationChild::join() {
    if (watcher_.joinable()) watcher_.join();
    if (process_ != nullptr) CloseHandle(process_);
    if (stopPipe_ != nullptr) CloseHandle(stopPipe_);
    process_ = nullptr;
    stopPipe_ = nullptr;
}

} // namespace dwlwin

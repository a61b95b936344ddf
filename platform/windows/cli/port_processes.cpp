// The ports' processes on Windows, which cannot fork: this program is started again with the
// same command line, once per port, and told its port in the environment (DWL_PORT_PROCESS).
// Each reads its standard input for a stop from the first process, and takes the pipe's end
// (the first process gone) as a hang-up.
#include "app/cli/port_processes.h"

#include "app/cli/run_signals.h"
#include "app/run/exit_status.h"
#include "link/rs232_cancel.h"
#include "platform/windows/cli/console_stop.h"
#include "platform/windows/system/cancel_event.h"
#include "platform/windows/system/system_error.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <thread>

namespace dwlcli {

namespace {

const wchar_t kPortVariable[] = L"DWL_PORT_PROCESS";
// WaitForMultipleObjects takes at most this many handles, the cancel's event among them.
constexpr size_t kWaitLimit = MAXIMUM_WAIT_OBJECTS - 1;

struct PortProcess {
    HANDLE process = nullptr;
    HANDLE stopPipe = nullptr; // the writing end of the process's standard input
    bool running = false;
    std::thread readers[2]; // its standard output and error
};

void closeHandle(HANDLE& h) {
    if (h != nullptr) CloseHandle(h);
    h = nullptr;
}

// A pipe whose ends no process inherits until one is marked for it.
bool makePipe(HANDLE* readEnd, HANDLE* writeEnd) {
    return CreatePipe(readEnd, writeEnd, nullptr, 0) != 0;
}

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Starts this program again for port i, its standard handles on pipes; what it writes goes to
// output from a reading thread per pipe.
bool startPort(size_t i, const std::string& name, PortProcess* p, std::mutex* outputLock,
               const PortOutput& output) {
    HANDLE in[2] = {nullptr, nullptr}, out[2] = {nullptr, nullptr}, err[2] = {nullptr, nullptr};
    const auto fail = [&](const char* what) {
        fprintf(stderr, "dwl: cannot %s for %s: %s\n", what, name.c_str(),
                dwlwin::systemErrorText(GetLastError()).c_str());
        for (HANDLE* pair : {in, out, err}) {
            closeHandle(pair[0]);
            closeHandle(pair[1]);
        }
        return false;
    };
    if (!makePipe(&in[0], &in[1]) || !makePipe(&out[0], &out[1]) || !makePipe(&err[0], &err[1]))
        return fail("make a pipe");
    for (HANDLE h : {in[0], out[1], err[1]})
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in[0];
    start.hStdOutput = out[1];
    start.hStdError = err[1];
    const std::wstring program = programPath();
    const wchar_t* given = GetCommandLineW();
    std::wstring commandLine(given, given + std::wcslen(given));
    commandLine.push_back(L'\0'); // CreateProcessW may write into it
    SetEnvironmentVariableW(kPortVariable, std::to_wstring(i).c_str());
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                   nullptr, nullptr, &start, &started);
    SetEnvironmentVariableW(kPortVariable, nullptr);
    if (!ok) return fail("start a process");
    CloseHandle(started.hThread);
    // The child's ends are its own now: the pipes end when it does.
    closeHandle(in[0]);
    closeHandle(out[1]);
    closeHandle(err[1]);
    p->process = started.hProcess;
    p->stopPipe = in[1];
    p->running = true;
    for (int k = 0; k < 2; k++) {
        const HANDLE from = k == 0 ? out[0] : err[0];
        p->readers[k] = std::thread([from, i, isOut = k == 0, outputLock, &output]() {
            char buffer[4096];
            DWORD n = 0;
            while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0) {
                const std::lock_guard<std::mutex> hold(*outputLock);
                output(i, isOut, buffer, n);
            }
            CloseHandle(from);
        });
    }
    return true;
}

// Sleeps until a port's process ends or a stop comes.
void waitForPorts(std::vector<PortProcess>& ports, bool watchStop) {
    std::vector<HANDLE> handles;
    std::vector<size_t> owners;
    for (size_t i = 0; i < ports.size() && handles.size() < kWaitLimit; i++) {
        if (!ports[i].running) continue;
        handles.push_back(ports[i].process);
        owners.push_back(i);
    }
    if (handles.empty()) return;
    const HANDLE stop = dwlwin::cancelEvent();
    if (watchStop && stop != nullptr) handles.push_back(stop);
    const DWORD woke =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    if (woke >= WAIT_OBJECT_0 && woke - WAIT_OBJECT_0 < owners.size())
        ports[owners[woke - WAIT_OBJECT_0]].running = false;
    else if (woke == WAIT_FAILED)
        for (size_t i : owners) { // no wait for several: one after the other
            WaitForSingleObject(ports[i].process, INFINITE);
            ports[i].running = false;
        }
}

} // namespace

std::vector<int> runPortProcesses(const std::vector<std::string>& names,
                                  const std::function<int(size_t)>&, const PortOutput& output) {
    std::vector<PortProcess> ports(names.size());
    std::mutex outputLock;
    fflush(stdout);
    fflush(stderr);
    for (size_t i = 0; i < names.size(); i++)
        startPort(i, names[i], &ports[i], &outputLock, output);

    bool forwarded = false;
    for (;;) {
        // A stop goes on to every port's process, which ends its run at its next wait.
        const int stop = RunSignals::received();
        if (stop != 0 && !forwarded) {
            forwarded = true;
            const char byte = static_cast<char>(stop);
            for (PortProcess& p : ports) {
                DWORD written = 0;
                if (p.stopPipe != nullptr) WriteFile(p.stopPipe, &byte, 1, &written, nullptr);
            }
        }
        bool running = false;
        for (const PortProcess& p : ports)
            running = running || p.running;
        if (!running) break;
        waitForPorts(ports, !forwarded && !rs232_Cancelled());
    }

    std::vector<int> statuses(ports.size(), kExitInternal);
    for (size_t i = 0; i < ports.size(); i++) {
        PortProcess& p = ports[i];
        for (std::thread& reader : p.readers)
            if (reader.joinable()) reader.join();
        DWORD code = 0;
        // A status beyond what a process reports itself (an exception's code): internal.
        if (p.process != nullptr && GetExitCodeProcess(p.process, &code) && code <= 255)
            statuses[i] = static_cast<int>(code);
        closeHandle(p.process);
        closeHandle(p.stopPipe);
    }
    return statuses;
}

bool runAsPortProcess(const std::vector<std::string>& names,
                      const std::function<int(size_t)>& child, int* status) {
    wchar_t value[16];
    const DWORD n = GetEnvironmentVariableW(kPortVariable, value, 16);
    if (n == 0 || n >= 16) return false;
    wchar_t* end = nullptr;
    const unsigned long port = std::wcstoul(value, &end, 10);
    if (end == value || *end != L'\0' || port >= names.size()) return false;
    SetEnvironmentVariableW(kPortVariable, nullptr);

    const RunSignals signals(false);
    // The first process writes a stop's number, or goes away: a hang-up.
    std::thread([]() {
        char stop = 0;
        DWORD got = 0;
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        const bool read = ReadFile(in, &stop, 1, &got, nullptr) && got == 1;
        dwlwin::deliverStop(read ? static_cast<int>(stop) : static_cast<int>(kStopHangUp));
    }).detach();
    *status = child(port);
    fflush(stdout);
    fflush(stderr);
    return true;
}

} // namespace dwlcli

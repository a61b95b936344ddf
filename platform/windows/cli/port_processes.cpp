// The ports' processes on Windows, which cannot fork: this program is started again
// (link/child_process.h) with the same arguments, once per port, and told its port in the
// environment (DWL_PORT_PROCESS). Each reads its standard input for a stop from the first
// process (dwl_SignalChild's byte), and takes the pipe's end (the first process gone) as a
// hang-up.
#include "app/cli/port_processes.h"

#include "app/cli/run_signals.h"
#include "app/run/exit_status.h"
#include "link/child_process.h"
#include "link/rs232_cancel.h"
#include "platform/windows/cli/console_stop.h"
#include "platform/windows/system/cancel_event.h"
#include "platform/windows/system/this_program.h"

#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <thread>

namespace dwlcli {

namespace {

const wchar_t kPortVariable[] = L"DWL_PORT_PROCESS";

struct PortProcess {
    ChildHandle child;
    std::thread readers[2]; // its standard output and error
};

// Starts this program again for port i, its standard streams on pipes; what it writes goes to
// output from a reading thread per pipe, which sets `ended` as its pipe ends.
bool startPort(size_t i, const std::string& name, PortProcess* p, std::mutex* outputLock,
               const PortOutput& output, HANDLE ended, std::atomic<int>* open) {
    ChildOptions options;
    options.in = options.out = options.err = kChildPipe;
    // A first process that dies takes its ports along.
    options.parentDeathSignal = kStopTerminate;
    SetEnvironmentVariableW(kPortVariable, std::to_wstring(i).c_str());
    const bool ok =
        dwl_StartProgram(dwlwin::thisProgram(), dwlwin::givenArguments(), options, &p->child);
    SetEnvironmentVariableW(kPortVariable, nullptr);
    if (!ok) {
        fprintf(stderr, "dwl: cannot %s for %s: %s\n",
                p->child.pipeFailed ? "make a pipe" : "start a process", name.c_str(),
                strerror(p->child.error));
        return false;
    }
    for (int k = 0; k < 2; k++) {
        const int from = k == 0 ? p->child.out : p->child.err;
        (*open)++;
        p->readers[k] = std::thread([from, i, isOut = k == 0, outputLock, &output, ended, open]() {
            char buffer[4096];
            for (int n; (n = _read(from, buffer, sizeof buffer)) > 0;) {
                const std::lock_guard<std::mutex> hold(*outputLock);
                output(i, isOut, buffer, static_cast<size_t>(n));
            }
            (*open)--;
            SetEvent(ended);
        });
    }
    return true;
}

} // namespace

std::vector<int> runPortProcesses(const std::vector<std::string>& names,
                                  const std::function<int(size_t)>&, const PortOutput& output) {
    std::vector<PortProcess> ports(names.size());
    std::mutex outputLock;
    std::atomic<int> open{0};
    // Set as each pipe ends: the ports' processes end with theirs.
    const HANDLE ended = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    fflush(stdout);
    fflush(stderr);
    for (size_t i = 0; i < names.size(); i++)
        startPort(i, names[i], &ports[i], &outputLock, output, ended, &open);

    bool forwarded = false;
    while (open > 0) {
        // A stop goes on to every port's process, which ends its run at its next wait.
        const int stop = RunSignals::received();
        if (stop != 0 && !forwarded) {
            forwarded = true;
            for (const PortProcess& p : ports)
                dwl_SignalChild(p.child, stop);
        }
        HANDLE handles[2] = {ended, dwlwin::cancelEvent()};
        const bool watchStop = !forwarded && handles[1] != nullptr;
        WaitForMultipleObjects(watchStop ? 2 : 1, handles, FALSE, INFINITE);
    }

    std::vector<int> statuses(ports.size(), kExitInternal);
    for (size_t i = 0; i < ports.size(); i++) {
        PortProcess& p = ports[i];
        for (std::thread& reader : p.readers)
            if (reader.joinable()) reader.join();
        int status = 0;
        // A status beyond what a process reports itself (an exception's code): internal.
        if (dwl_WaitChild(&p.child, -1, &status))
            statuses[i] = dwl_ChildExitStatus(status, kExitInternal);
        dwl_CloseChildPipes(&p.child);
    }
    if (ended != nullptr) CloseHandle(ended);
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

// The console's Ctrl-C, Ctrl-Break, close, log-off and shut-down events as the command line's
// stops. Windows calls the handler on a thread of its own.
#include "app/cli/run_signals.h"

#include "link/rs232_cancel.h"
#include "platform/windows/cli/console_stop.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace dwlcli {

namespace {

std::atomic<int> mv_ReceivedStop{0};
std::atomic<bool> mv_SecondEnds{true};

int stopOf(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: return kStopInterrupt;
    case CTRL_CLOSE_EVENT: return kStopHangUp;
    default: return kStopTerminate; // log-off, shut-down
    }
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    dwlwin::deliverStop(stopOf(event));
    // After a close, log-off or shut-down the system ends the process as soon as this returns
    // (and at the latest after a few seconds): the run has until then to end at its next wait
    // and write its record; its own exit ends the process first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

struct RunSignals::Previous {
    bool secondEnds;
};

RunSignals::RunSignals(bool secondEnds) : previous_(std::make_unique<Previous>()) {
    previous_->secondEnds = mv_SecondEnds.exchange(secondEnds);
    mv_ReceivedStop = 0;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

RunSignals::~RunSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    mv_SecondEnds = previous_->secondEnds;
}

int RunSignals::received() {
    return mv_ReceivedStop;
}

bool consoleMadeForProgram() {
    // A console opened for a program started from the Explorer holds that program alone.
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForKeyBeforeClosing() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    fprintf(stderr, "\nPress a key to close this window.\n");
    fflush(stderr);
    FlushConsoleInputBuffer(in);
    INPUT_RECORD record;
    DWORD count = 0;
    while (ReadConsoleInputW(in, &record, 1, &count) && count == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
}

} // namespace dwlcli

namespace dwlwin {

void deliverStop(int stop) {
    int none = 0;
    if (dwlcli::mv_ReceivedStop.compare_exchange_strong(none, stop)) {
        rs232_Cancel();
        return;
    }
    if (dwlcli::mv_SecondEnds) ExitProcess(static_cast<UINT>(128 + stop));
}

} // namespace dwlwin

// The stops of a station's port process on Windows: the station writes each as its number in a
// byte on the process's standard input, and its end (the station gone) cancels the run. The
// console's own Ctrl-C and Ctrl-Break are the station's to pass on: ignored here.
#include "app/station/port_stop_signals.h"

#include "app/station/station_signals.h"
#include "link/rs232_cancel.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace dwlcli {

namespace {

std::atomic<int> mv_Interrupts{0};
std::atomic<bool> mv_Cancel{false};
std::atomic<bool> mv_InRun{false};

void onStop(int stop) {
    if (stop == kStationInterrupt && mv_Interrupts.fetch_add(1) == 0) {
        // A wait for a handset ends now; a run goes on to its end.
        if (!mv_InRun) rs232_Cancel();
        return;
    }
    mv_Cancel = true;
    rs232_Cancel();
}

BOOL WINAPI ignoreCtrlC(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

} // namespace

struct PortStopSignals::Saved {};

PortStopSignals::PortStopSignals() : saved_(std::make_unique<Saved>()) {
    mv_Interrupts = 0;
    mv_Cancel = false;
    mv_InRun = false;
    SetConsoleCtrlHandler(ignoreCtrlC, TRUE);
    std::thread([] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        unsigned char stop = 0;
        DWORD got = 0;
        while (ReadFile(in, &stop, 1, &got, nullptr) && got == 1)
            onStop(stop);
        onStop(kStationTerminate);
    }).detach();
}

PortStopSignals::~PortStopSignals() {
    SetConsoleCtrlHandler(ignoreCtrlC, FALSE);
}

void PortStopSignals::runBegins() {
    mv_InRun = true;
}

void PortStopSignals::runEnds() {
    mv_InRun = false;
}

bool PortStopSignals::stopRequested() {
    return mv_Interrupts > 0 || mv_Cancel;
}

bool PortStopSignals::cancelRequested() {
    return mv_Cancel;
}

} // namespace dwlcli

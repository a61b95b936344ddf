// The station's process for the Win32 station window: `dwl.exe station --json-lines` started
// (link/child_process.h) with its output and error output on pipes, each read by a thread of its
// own that posts every line to the window as a message (the window never waits for the
// station); a last message says how it ended. It runs on a console without a window, which its
// ports' processes share. An interrupt is a byte on its standard input (a window has no console
// to send a Ctrl-C from), which the station, told so by DWL_STOP_PIPE=1 in its environment,
// takes as a Ctrl-C and passes on to its ports' processes.
#pragma once

#include "link/child_process.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace dwlwin {

// What the window gets for its message: wParam is the kind, lParam a StationChildText* it owns
// and deletes (ignoring it when run is not the run of the child it holds).
enum StationChildPost { STATION_OUT_LINE, STATION_ERR_LINE, STATION_ENDED };
struct StationChildText {
    unsigned run;
    std::string text;
};

class StationChild {
  public:
    StationChild(HWND window, UINT message);
    ~StationChild();
    StationChild(const StationChild&) = delete;
    StationChild& operator=(const StationChild&) = delete;

    // False with the reason in *problem when it cannot start; lines and the end are posted for
    // run.
    bool start(const std::string& program, const std::vector<std::string>& args, unsigned run,
               std::string* problem);
    bool running() const { return running_; }
    // One interrupt, as a Ctrl-C at a console.
    void interrupt();
    // Interrupts it twice and waits at most msecs for it to end; kills it past that. Its
    // threads are gone when this returns.
    void end(int msecs);

  private:
    void join();

    HWND window_;
    UINT message_;
    ChildHandle child_;     // this thread's copy: its stop pipe and its number
    HANDLE gone_ = nullptr; // set when the process has ended
    std::atomic<bool> running_{false};
    std::thread watcher_; // reads both pipes, waits for the end and posts it
};

std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);

} // namespace dwlwin

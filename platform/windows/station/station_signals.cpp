// The station's own process on Windows: the console's Ctrl-C and Ctrl-Break counted, its close,
// log-off and shut-down as a terminate; the port processes as this program started again; a
// reading thread per pipe, whose bytes the station's sleep takes; the board on a console with
// virtual-terminal processing.
#include "app/station/station_signals.h"

#include "platform/windows/system/this_program.h"

#include <windows.h>

#include <io.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace dwlcli {

namespace {

// Names the port of a process started again for it.
const wchar_t kPortVariable[] = L"DWL_STATION_PORT";

std::atomic<int> mv_Interrupts{0};
std::atomic<bool> mv_Terminated{false};

// The station's sleep: woken by bytes or the end of a pipe, and by a stop (mv_Stops counts
// them).
std::mutex mv_Lock;
std::condition_variable mv_Woken;
unsigned long mv_Stops = 0;

void wake() {
    {
        const std::lock_guard<std::mutex> hold(mv_Lock);
        mv_Stops++;
    }
    mv_Woken.notify_all();
}

// A stop by its number: from the console, or as a byte from the program that started the station
// with its standard input on a pipe (the GUI's station window).
void stop(int number) {
    if (number == kStationInterrupt)
        mv_Interrupts++;
    else
        mv_Terminated = true;
    wake();
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        stop(kStationInterrupt);
        return TRUE;
    }
    stop(kStationTerminate);
    // The system ends the process as soon as this returns (and at the latest after a few
    // seconds): the station has until then to stop its ports; its own exit ends it first.
    Sleep(INFINITE);
    return TRUE;
}

// A station started by a window program (dwl-gui.exe's station window, which has no console to
// send a Ctrl-C from; it sets DWL_STOP_PIPE=1) takes its stops on its standard input as its
// ports' processes do: SIGINT's number is an interrupt, SIGTERM's a terminate, and the end of the
// pipe (the window gone) a terminate too.
void readStopPipe() {
    static std::once_flag started;
    std::call_once(started, [] {
        wchar_t value[4];
        const DWORD n = GetEnvironmentVariableW(L"DWL_STOP_PIPE", value, 4);
        // The ports' processes take their stops from this one, not from the window.
        SetEnvironmentVariableW(L"DWL_STOP_PIPE", nullptr);
        if (n != 1 || value[0] != L'1') return;
        // The input as it is now: the thread may start after someone changed it.
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        std::thread([in] {
            unsigned char stop = 0;
            DWORD got = 0;
            while (ReadFile(in, &stop, 1, &got, nullptr) && got == 1) {
                if (stop == 2)
                    mv_Interrupts++;
                else
                    mv_Terminated = true;
                wake();
            }
            mv_Terminated = true;
            wake();
        }).detach();
    });
}

} // namespace

struct StationSignals::Saved {
    // A thread per pipe, reading until its end.
    struct Reader {
        std::thread thread;
        std::deque<std::string> chunks;
        bool ended = false;
    };
    std::map<int, std::unique_ptr<Reader>> readers; // under mv_Lock
    unsigned long stopsSeen = 0;

    ~Saved() {
        // Pipes still read at the end are the caller's to close; their threads are not waited
        // for.
        for (auto& [fd, r] : readers)
            if (r->thread.joinable()) r->thread.detach();
    }
};

StationSignals::StationSignals() : saved_(std::make_unique<Saved>()) {
    mv_Interrupts = 0;
    mv_Terminated = false;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    readStopPipe();
}

StationSignals::~StationSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

int StationSignals::interrupts() {
    return mv_Interrupts;
}

bool StationSignals::terminated() {
    return mv_Terminated;
}

bool StationSignals::startPort(size_t i, const std::function<int()>&, ChildOptions options,
                               ChildHandle* child) const {
    // Its stops come on its standard input.
    options.in = kChildPipe;
    SetEnvironmentVariableW(kPortVariable, std::to_wstring(i).c_str());
    const bool ok =
        dwl_StartProgram(dwlwin::thisProgram(), dwlwin::givenArguments(), options, child);
    SetEnvironmentVariableW(kPortVariable, nullptr);
    return ok;
}

int StationSignals::portOfThisProcess() {
    static const int port = [] {
        wchar_t value[16];
        const DWORD n = GetEnvironmentVariableW(kPortVariable, value, 16);
        if (n == 0 || n >= 16) return -1;
        wchar_t* end = nullptr;
        const unsigned long got = std::wcstoul(value, &end, 10);
        return end == value || *end != L'\0' || got > 4096 ? -1 : static_cast<int>(got);
    }();
    return port;
}

std::vector<PipeBytes> StationSignals::wait(const std::vector<int>& fds,
                                            double timeoutSeconds) const {
    std::unique_lock<std::mutex> hold(mv_Lock);
    for (int fd : fds) {
        if (saved_->readers.count(fd) != 0) continue;
        auto reader = std::make_unique<Saved::Reader>();
        Saved::Reader* r = reader.get();
        r->thread = std::thread([fd, r] {
            char buffer[8192];
            for (int n; (n = _read(fd, buffer, sizeof buffer)) > 0;) {
                {
                    const std::lock_guard<std::mutex> lock(mv_Lock);
                    r->chunks.emplace_back(buffer, static_cast<size_t>(n));
                }
                mv_Woken.notify_all();
            }
            {
                const std::lock_guard<std::mutex> lock(mv_Lock);
                r->ended = true;
            }
            mv_Woken.notify_all();
        });
        saved_->readers[fd] = std::move(reader);
    }
    const auto ready = [&] {
        if (mv_Stops != saved_->stopsSeen) return true;
        for (int fd : fds) {
            const Saved::Reader& r = *saved_->readers[fd];
            if (!r.chunks.empty() || r.ended) return true;
        }
        return false;
    };
    if (timeoutSeconds < 0)
        mv_Woken.wait(hold, ready);
    else
        mv_Woken.wait_for(hold, std::chrono::duration<double>(timeoutSeconds), ready);
    saved_->stopsSeen = mv_Stops;
    std::vector<PipeBytes> got;
    for (int fd : fds) {
        auto found = saved_->readers.find(fd);
        Saved::Reader& r = *found->second;
        for (std::string& chunk : r.chunks)
            got.push_back({fd, std::move(chunk)});
        r.chunks.clear();
        if (!r.ended) continue;
        // Its thread has nothing left to do but return.
        got.push_back({fd, std::string()});
        std::unique_ptr<Saved::Reader> done = std::move(found->second);
        saved_->readers.erase(found);
        hold.unlock();
        done->thread.join();
        hold.lock();
    }
    return got;
}

bool StationSignals::boardConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) return false;
    // Windows 10 and later take the cursor movements once asked; older consoles refuse.
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

size_t StationSignals::consoleWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? static_cast<size_t>(width) : 0;
}

} // namespace dwlcli

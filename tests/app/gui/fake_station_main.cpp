// Stands in for `dwl station --json-lines` in the station window's tests (the Qt window's, and
// the Win32 window's under wine): prints the lines of the script named by $FAKE_STATION_SCRIPT,
// one at a time. Lines starting with '!' act:
//   !int       wait for an interrupt (one that came earlier counts): SIGINT, or on Windows a
//              console's Ctrl-C, or with DWL_STOP_PIPE=1 a byte on standard input
//   !err TEXT  TEXT on standard error
//   !args      the arguments it was started with on standard error: "args: ..."
//   !stdin     a line of its standard input, on standard error: "stdin: LINE"
//   !exit N    end with status N
//   !abort     end abnormally
// Started as `results --db DB --html FILE` it stands in for the report: FILE gets "report of DB".
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

#ifdef _WIN32
HANDLE mv_Interrupts = nullptr; // a semaphore counting the interrupts not yet waited for

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    ReleaseSemaphore(mv_Interrupts, 1, nullptr);
    return TRUE;
}

DWORD WINAPI readStops(void*) {
    char stop = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &stop, 1, &got, nullptr) && got == 1)
        ReleaseSemaphore(mv_Interrupts, 1, nullptr);
    return 0;
}

void takeInterrupts() {
    mv_Interrupts = CreateSemaphoreW(nullptr, 0, 1000, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    const char* pipe = std::getenv("DWL_STOP_PIPE");
    if (pipe != nullptr && std::strcmp(pipe, "1") == 0)
        CloseHandle(CreateThread(nullptr, 0, readStops, nullptr, 0, nullptr));
}

void waitForInterrupt() {
    WaitForSingleObject(mv_Interrupts, INFINITE);
}
#else
sigset_t mv_Interrupt;

void takeInterrupts() {
    sigemptyset(&mv_Interrupt);
    sigaddset(&mv_Interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &mv_Interrupt, nullptr);
}

void waitForInterrupt() {
    int got = 0;
    sigwait(&mv_Interrupt, &got);
}
#endif

} // namespace

int main(int argc, char** argv) {
    takeInterrupts();

    if (argc == 6 && std::strcmp(argv[1], "results") == 0 && std::strcmp(argv[4], "--html") == 0) {
        std::ofstream page(argv[5]);
        page << "report of " << argv[3];
        return page ? 0 : 74;
    }
    const char* path = std::getenv("FAKE_STATION_SCRIPT");
    std::ifstream script(path != nullptr ? path : "");
    if (!script) {
        std::fprintf(stderr, "fake station: no script\n");
        return 70;
    }
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "!int") {
            waitForInterrupt();
        } else if (line.rfind("!err ", 0) == 0) {
            std::fprintf(stderr, "%s\n", line.c_str() + 5);
            std::fflush(stderr);
        } else if (line == "!args") {
            std::string args = "args:";
            for (int i = 1; i < argc; i++)
                args += std::string(" ") + argv[i];
            std::fprintf(stderr, "%s\n", args.c_str());
            std::fflush(stderr);
        } else if (line == "!stdin") {
            std::string got;
            for (int c; (c = std::getchar()) != EOF && c != '\n';)
                got += static_cast<char>(c);
            std::fprintf(stderr, "stdin: %s\n", got.c_str());
            std::fflush(stderr);
        } else if (line.rfind("!exit ", 0) == 0) {
            return std::atoi(line.c_str() + 6);
        } else if (line == "!abort") {
            std::abort();
        } else {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}

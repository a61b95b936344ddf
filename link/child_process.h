// The processes this project starts (the station's ports and its results sender, the fan-out of a
// run over several ports, the emulated handset for dwl sim, dwl demo, the tests and benches): one
// way to start a program or a function in a forked process, wait for it with a deadline, signal
// it and end it. POSIX systems have it in platform/posix/child_process.cpp, Windows in
// platform/windows/system/child_process.cpp (CreateProcessW; no fork, so no dwl_StartFunction:
// a Windows program that needs a function in a process of its own starts itself again).
#pragma once

#include <functional>
#include <string>
#include <vector>

// What a child's standard stream is: a file of this process (a descriptor of 0 or more) or one
// of these.
constexpr int kChildInherit = -1; // the same as this process's
constexpr int kChildNull = -2;    // the null device
constexpr int kChildPipe = -3;    // a pipe whose other end this process reads (or writes)

struct ChildOptions {
    int in = kChildInherit;
    int out = kChildInherit;
    int err = kChildInherit;
    // Its own process group: a Ctrl-C at the terminal reaches this process alone.
    bool ownGroup = false;
    // Windows: a console program started from a window program gets a console without a window,
    // which its own children share (else each console program would open a console window).
    bool noConsoleWindow = false;
    // The signal the child gets when this process ends, however it ends; 0 for none. A child
    // whose parent is already gone when it starts ends at once with orphanStatus. (Windows: any
    // signal means the child is terminated as this process ends.)
    int parentDeathSignal = 0;
    int orphanStatus = 127;
    // Files of this process the child must not hold (a pipe held open in a child never ends).
    // (Windows: the pipes made here are never inherited but by their own child.)
    std::vector<int> closeInChild;
    // Closes every file above standard error in the child.
    bool closeAllOthers = false;
};

struct ChildHandle {
    int pid = -1;
    // This process's ends of the pipes asked for (kChildPipe), else -1.
    int in = -1;
    int out = -1;
    int err = -1;
    // Why it did not start: the system's error, and whether a pipe could not be made.
    int error = 0;
    bool pipeFailed = false;
    // What it used, as the wait that saw it end read it (with its own children it waited for).
    double userSeconds = 0;
    double systemSeconds = 0;
    long voluntarySwitches = 0; // its sleeps: how often it gave up the processor to wait
};

// Starts program with args (argv[0] is program). True with the child in *child; false with
// child->error and child->pipeFailed set.
bool dwl_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options, ChildHandle* child);

#ifndef _WIN32
// Runs body in a forked copy of this process, which ends with body's return value after its
// standard output and error are flushed (a body may end the process itself). Standard output
// and error are flushed before the fork.
bool dwl_StartFunction(const std::function<int()>& body, const ChildOptions& options,
                       ChildHandle* child);
#endif

// Puts program with args in this process's place; returns only when it could not (errno says
// why). (Windows: runs it on this process's streams and ends with its exit status.)
void dwl_RunInstead(const std::string& program, const std::vector<std::string>& args);

// Sleeps until the child ends or timeoutMs pass (a negative timeoutMs waits for ever). True when
// it ended, with its wait status in *status and child->pid set to -1.
bool dwl_WaitChild(ChildHandle* child, int timeoutMs, int* status);

// Sends it a signal; nothing when it is not running. Windows has no signals: SIGKILL's number (9)
// terminates it, and any other number goes as one byte to its standard input when that is a
// pipe of this process (kChildPipe), for the child to read as its stop.
void dwl_SignalChild(const ChildHandle& child, int signal);

// Ends it: SIGTERM, a sleep until it is gone (graceMs at most), then SIGKILL (Windows: the
// byte 15 on its standard input pipe, then TerminateProcess with 137). Returns its wait
// status (Windows: its exit code). Its pipes stay open (dwl_CloseChildPipes).
int dwl_EndChild(ChildHandle* child, int graceMs);

// Closes this process's ends of its pipes.
void dwl_CloseChildPipes(ChildHandle* child);

// The exit status of a wait status, as a shell gives it: 128 + the signal that ended it, or
// `otherwise` for one that neither exited nor was ended by a signal.
int dwl_ChildExitStatus(int status, int otherwise);
// True when it exited (not ended by a signal) with `code`.
bool dwl_ChildExitedWith(int status, int code);
// The signal that ended it; 0 when it exited. (Windows: SIGKILL's number, 9, for a child that
// dwl_SignalChild or dwl_EndChild terminated; 0 otherwise.)
int dwl_ChildEndSignal(int status);

// The processes of link/child_process.h on Windows: CreateProcessW with the arguments quoted as
// the C run-time splits them again, pipes whose ends this process holds as C run-time
// descriptors, a wait that sleeps on the process handle until it ends or the deadline comes, and
// an end that asks first (a byte on the child's standard input) and then terminates it.
#include "link/child_process.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace {

// The exit code a terminated child gets: as a shell reports a SIGKILL.
constexpr UINT kKilledCode = 128 + 9;

// The children started and not yet waited for, by their process number.
std::mutex mv_ChildrenLock;
std::map<int, HANDLE> mv_Children;

HANDLE processOf(int pid) {
    const std::lock_guard<std::mutex> hold(mv_ChildrenLock);
    const auto found = mv_Children.find(pid);
    return found == mv_Children.end() ? nullptr : found->second;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return L"";
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

int errnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_BAD_EXE_FORMAT: return ENOEXEC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    default: return EINVAL;
    }
}

double seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) * 1e-7;
}

// The handles the child gets, inheritable copies made for this start alone, and this process's
// ends of the pipes.
struct Streams {
    HANDLE child[3] = {nullptr, nullptr, nullptr};
    int mine[3] = {-1, -1, -1};
    void closeChildEnds() {
        for (HANDLE& h : child) {
            if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
            h = nullptr;
        }
    }
    void closeMine() {
        for (int& f : mine) {
            if (f >= 0) _close(f);
            f = -1;
        }
    }
};

HANDLE inheritableCopy(HANDLE h) {
    HANDLE copy = nullptr;
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

bool makeStreams(const ChildOptions& o, Streams* s, ChildHandle* child) {
    const int wanted[3] = {o.in, o.out, o.err};
    const DWORD standard[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int k = 0; k < 3; k++) {
        const bool reads = k == 0; // the child reads its standard input
        if (wanted[k] == kChildInherit) {
            // A process without that stream (a window program) gives none on.
            s->child[k] = inheritableCopy(GetStdHandle(standard[k]));
        } else if (wanted[k] == kChildNull) {
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            s->child[k] = CreateFileW(L"NUL", reads ? GENERIC_READ : GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                      0, nullptr);
            if (s->child[k] == INVALID_HANDLE_VALUE) s->child[k] = nullptr;
        } else if (wanted[k] == kChildPipe) {
            // Neither end is inheritable: only the copy made for this child is.
            HANDLE readEnd = nullptr, writeEnd = nullptr;
            if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
                child->error = errnoOf(GetLastError());
                child->pipeFailed = true;
                return false;
            }
            const HANDLE theirs = reads ? readEnd : writeEnd;
            const HANDLE ours = reads ? writeEnd : readEnd;
            s->child[k] = inheritableCopy(theirs);
            CloseHandle(theirs);
            s->mine[k] = _open_osfhandle(reinterpret_cast<intptr_t>(ours),
                                         (reads ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
            if (s->mine[k] < 0) CloseHandle(ours);
            if (s->mine[k] < 0 || s->child[k] == nullptr) {
                child->error = EMFILE;
                child->pipeFailed = true;
                return false;
            }
        } else {
            s->child[k] = inheritableCopy(reinterpret_cast<HANDLE>(_get_osfhandle(wanted[k])));
        }
    }
    return true;
}

// One process-wide job whose children end with this process however it ends (the Windows way of
// a death signal): closing its last handle, at this process's end, terminates them.
HANDLE deathJob() {
    static const HANDLE job = [] {
        const HANDLE j = CreateJobObjectW(nullptr, nullptr);
        if (j == nullptr) return j;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return j;
    }();
    return job;
}

// One argument as the C run-time's start-up splits the command line again (and
// CommandLineToArgvW): quoted when it holds a blank or a quote, or is empty.
std::string quoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote is escaped; elsewhere they
        // stand as they are.
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    // Before the closing quote they are doubled too.
    out.append(2 * backslashes, '\\');
    out.push_back('"');
    return out;
}

} // namespace

bool dwl_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options, ChildHandle* child) {
    *child = ChildHandle{};
    // The program's name is split by other rules (no escapes): quoted as a whole when it must.
    std::string line = program.find_first_of(" \t") == std::string::npos || program.empty()
                           ? program
                           : "\"" + program + "\"";
    if (program.empty()) line = "\"\"";
    for (const std::string& a : args)
        line += " " + quoteArgument(a);
    std::wstring commandLine = wide(line);
    commandLine.push_back(L'\0'); // CreateProcessW may write into it

    // Starts are one at a time: an inheritable copy made for one child must not go to another
    // started meanwhile by another thread.
    static std::mutex startLock;
    const std::lock_guard<std::mutex> hold(startLock);
    Streams streams;
    if (!makeStreams(options, &streams, child)) {
        streams.closeChildEnds();
        streams.closeMine();
        return false;
    }
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = streams.child[0];
    start.hStdOutput = streams.child[1];
    start.hStdError = streams.child[2];
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    if (options.ownGroup) flags |= CREATE_NEW_PROCESS_GROUP;
    if (options.noConsoleWindow) flags |= CREATE_NO_WINDOW;
    PROCESS_INFORMATION started{};
    const std::wstring path = wide(program);
    const BOOL ok = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                                   nullptr, nullptr, &start, &started);
    const DWORD error = GetLastError();
    streams.closeChildEnds();
    if (!ok) {
        streams.closeMine();
        child->error = errnoOf(error);
        return false;
    }
    // Placed in the job before it runs a single instruction; a system without jobs (or one
    // that refuses a job inside a job) leaves it out.
    if (options.parentDeathSignal != 0 && deathJob() != nullptr)
        AssignProcessToJobObject(deathJob(), started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    child->pid = static_cast<int>(started.dwProcessId);
    child->in = streams.mine[0];
    child->out = streams.mine[1];
    child->err = streams.mine[2];
    const std::lock_guard<std::mutex> children(mv_ChildrenLock);
    mv_Children[child->pid] = started.hProcess;
    return true;
}

void dwl_RunInstead(const std::string& program, const std::vector<std::string>& args) {
    // No exec here: the program runs as a child on this process's streams, and this process
    // ends with its status.
    ChildHandle child;
    if (!dwl_StartProgram(program, args, ChildOptions{}, &child)) {
        errno = child.error;
        return;
    }
    int status = 0;
    dwl_WaitChild(&child, -1, &status);
    fflush(stdout);
    fflush(stderr);
    ExitProcess(static_cast<UINT>(status));
}

bool dwl_WaitChild(ChildHandle* child, int timeoutMs, int* status) {
    if (child->pid <= 0) return false;
    const HANDLE process = processOf(child->pid);
    if (process == nullptr) return false;
    if (WaitForSingleObject(process, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
        WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        child->userSeconds = seconds(user);
        child->systemSeconds = seconds(kernel);
    }
    child->voluntarySwitches = 0; // Windows does not count them per process
    {
        const std::lock_guard<std::mutex> hold(mv_ChildrenLock);
        mv_Children.erase(child->pid);
    }
    CloseHandle(process);
    child->pid = -1;
    if (status != nullptr) *status = static_cast<int>(code);
    return true;
}

void dwl_SignalChild(const ChildHandle& child, int signal) {
    if (child.pid <= 0) return;
    if (signal == 9) { // SIGKILL's number
        const HANDLE process = processOf(child.pid);
        if (process != nullptr) TerminateProcess(process, kKilledCode);
        return;
    }
    // The number as one byte on its standard input: the child's stop (a child started without
    // a pipe there gets none).
    if (child.in >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(_get_osfhandle(child.in)), &byte, 1, &written, nullptr);
    }
}

int dwl_EndChild(ChildHandle* child, int graceMs) {
    int status = 0;
    if (child->pid <= 0) return status;
    dwl_SignalChild(*child, 15); // SIGTERM's number
    if (dwl_WaitChild(child, graceMs, &status)) return status;
    dwl_SignalChild(*child, 9);
    dwl_WaitChild(child, -1, &status);
    return status;
}

void dwl_CloseChildPipes(ChildHandle* child) {
    for (int* f : {&child->in, &child->out, &child->err}) {
        if (*f >= 0) _close(*f);
        *f = -1;
    }
}

int dwl_ChildExitStatus(int status, int otherwise) {
    // A code beyond what a program returns itself (an exception's, 0xC0000005) is not an exit.
    return status >= 0 && status <= 255 ? status : otherwise;
}

bool dwl_ChildExitedWith(int status, int code) {
    return status == code;
}

int dwl_ChildEndSignal(int status) {
    return status == static_cast<int>(kKilledCode) ? 9 : 0;
}

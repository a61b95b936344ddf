// The processes of link/child_process.h on POSIX: fork and exec, pipes, a wait that sleeps on the
// child's pidfd (Linux) until it ends or the deadline comes.
#include "link/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

namespace {

// The pipes of one start: [stream][0 read, 1 write]; -1 where none is asked for.
struct Pipes {
    int fd[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
    void closeAll() {
        for (auto& p : fd)
            for (int& f : p) {
                if (f >= 0) close(f);
                f = -1;
            }
    }
};

bool makePipes(const ChildOptions& o, Pipes* pipes, ChildHandle* child) {
    const int wanted[3] = {o.in, o.out, o.err};
    for (int s = 0; s < 3; s++) {
        if (wanted[s] != kChildPipe) continue;
        if (pipe2(pipes->fd[s], O_CLOEXEC) != 0) {
            child->error = errno;
            child->pipeFailed = true;
            pipes->closeAll();
            return false;
        }
    }
    return true;
}

// In the child, right after the fork: only async-signal-safe calls.
void setUpChild(const ChildOptions& o, pid_t parent, const Pipes& pipes) {
    if (o.ownGroup) setpgid(0, 0);
#ifdef __linux__
    if (o.parentDeathSignal != 0) {
        // The parent may have died before prctl.
        if (prctl(PR_SET_PDEATHSIG, o.parentDeathSignal) != 0 || getppid() != parent)
            _exit(o.orphanStatus);
    }
#else
    (void)parent;
#endif
    const int wanted[3] = {o.in, o.out, o.err};
    for (int s = 0; s < 3; s++) {
        int from = wanted[s];
        if (from == kChildInherit) continue;
        if (from == kChildPipe) from = pipes.fd[s][s == 0 ? 0 : 1];
        if (from == kChildNull) {
            const int null = open("/dev/null", s == 0 ? O_RDONLY : O_WRONLY);
            if (null < 0) continue;
            dup2(null, s);
            if (null > STDERR_FILENO) close(null);
            continue;
        }
        dup2(from, s);
    }
    for (const auto& p : pipes.fd)
        for (int f : p)
            if (f > STDERR_FILENO) close(f);
    for (int f : o.closeInChild)
        if (f > STDERR_FILENO) close(f);
    if (o.closeAllOthers) close_range(STDERR_FILENO + 1, ~0U, 0);
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

std::vector<char*> argvOf(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

bool start(const std::function<void()>& inChild, const ChildOptions& o, ChildHandle* child) {
    *child = ChildHandle{};
    Pipes pipes;
    if (!makePipes(o, &pipes, child)) return false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setUpChild(o, parent, pipes);
        inChild();
        _exit(127);
    }
    const int forkError = errno;
    child->in = pipes.fd[0][1];
    child->out = pipes.fd[1][0];
    child->err = pipes.fd[2][0];
    for (int s = 0; s < 3; s++)
        if (pipes.fd[s][s == 0 ? 0 : 1] >= 0) close(pipes.fd[s][s == 0 ? 0 : 1]);
    if (pid < 0) {
        dwl_CloseChildPipes(child);
        child->error = forkError;
        return false;
    }
    child->pid = pid;
    return true;
}

} // namespace

bool dwl_StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options, ChildHandle* child) {
    std::vector<char*> argv = argvOf(program, args);
    return start([&] { execv(program.c_str(), argv.data()); }, options, child);
}

void dwl_RunInstead(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv = argvOf(program, args);
    execv(program.c_str(), argv.data());
}

bool dwl_StartFunction(const std::function<int()>& body, const ChildOptions& options,
                       ChildHandle* child) {
    fflush(stdout);
    fflush(stderr);
    return start(
        [&] {
            const int status = body();
            fflush(stdout);
            fflush(stderr);
            _exit(status);
        },
        options, child);
}

bool dwl_WaitChild(ChildHandle* child, int timeoutMs, int* status) {
    if (child->pid <= 0) return false;
    int raw = 0;
    pid_t got = 0;
    rusage usage{};
    if (timeoutMs < 0) {
        while ((got = wait4(child->pid, &raw, 0, &usage)) < 0 && errno == EINTR) {
        }
    } else {
        got = wait4(child->pid, &raw, WNOHANG, &usage);
#ifdef __linux__
        if (got == 0 && timeoutMs > 0) {
            // The child's pidfd becomes readable when it ends: sleep on it.
            const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child->pid, 0));
            if (pidfd >= 0) {
                pollfd p{pidfd, POLLIN, 0};
                poll(&p, 1, timeoutMs);
                close(pidfd);
            }
            got = wait4(child->pid, &raw, WNOHANG, &usage);
        }
#endif
    }
    if (got != child->pid) return false;
    child->pid = -1;
    child->userSeconds = seconds(usage.ru_utime);
    child->systemSeconds = seconds(usage.ru_stime);
    child->voluntarySwitches = usage.ru_nvcsw;
    if (status != nullptr) *status = raw;
    return true;
}

void dwl_SignalChild(const ChildHandle& child, int signal) {
    if (child.pid > 0) kill(child.pid, signal);
}

int dwl_EndChild(ChildHandle* child, int graceMs) {
    int status = 0;
    if (child->pid <= 0) return status;
    kill(child->pid, SIGTERM);
    if (dwl_WaitChild(child, graceMs, &status)) return status;
    kill(child->pid, SIGKILL);
    dwl_WaitChild(child, -1, &status);
    return status;
}

void dwl_CloseChildPipes(ChildHandle* child) {
    for (int* f : {&child->in, &child->out, &child->err}) {
        if (*f >= 0) close(*f);
        *f = -1;
    }
}

int dwl_ChildExitStatus(int status, int otherwise) {
    return WIFEXITED(status)     ? WEXITSTATUS(status)
           : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                 : otherwise;
}

bool dwl_ChildExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

int dwl_ChildEndSignal(int status) {
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

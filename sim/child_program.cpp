#include "sim/child_program.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sim {

pid_t StartChildProgram(const std::string& program, const std::vector<std::string>& args,
                        int deathSignal, int* stdoutFd) {
    int out[2];
    if (pipe(out) != 0) return -1;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on. The parent may have died before prctl.
        if (prctl(PR_SET_PDEATHSIG, deathSignal) != 0 || getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const int forkError = errno;
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        errno = forkError;
        return -1;
    }
    *stdoutFd = out[0];
    return pid;
}

int EndChildProgram(pid_t pid, int graceMs) {
    int status = 0;
    // The child's pidfd becomes readable when it ends: sleep on it.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    kill(pid, SIGTERM);
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        poll(&p, 1, graceMs);
        close(pidfd);
    }
    if (waitpid(pid, &status, WNOHANG) != pid) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return status;
}

} // namespace sim

#include "tests/support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on. The parent may have died before prctl.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    if (pid_ < 0) pid_ = -1;
}

ChildProcess::~ChildProcess() {
    stop();
    if (out_ >= 0) close(out_);
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

std::string ChildProcess::readLine(int msecs) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
    while (out_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char c = 0;
        if (read(out_, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

int ChildProcess::stop() {
    if (pid_ <= 0) return status_;
    // The child's pidfd becomes readable when it ends: sleep on it, two seconds at most.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    kill(pid_, SIGTERM);
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        poll(&p, 1, 2000);
        close(pidfd);
    }
    if (waitpid(pid_, &status_, WNOHANG) != pid_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    pid_ = -1;
    return status_;
}

} // namespace testsupport

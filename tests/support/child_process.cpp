#include "tests/support/child_process.h"

#include "link/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           bool withInput) {
    ChildOptions options;
    options.out = kChildPipe;
    if (withInput) options.in = kChildPipe;
    options.parentDeathSignal = SIGKILL;
    if (dwl_StartProgram(program, args, options, &child_)) {
        pid_ = child_.pid;
        out_ = child_.out;
        in_ = child_.in;
    }
}

bool ChildProcess::write(const std::string& text) {
    size_t done = 0;
    while (in_ >= 0 && done < text.size()) {
        const ssize_t n = ::write(in_, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return done == text.size();
}

ChildProcess::~ChildProcess() {
    stop();
    if (out_ >= 0) close(out_);
    if (in_ >= 0) close(in_);
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    if (dwl_WaitChild(&child_, 0, &status_)) {
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
    status_ = dwl_EndChild(&child_, 2000);
    pid_ = -1;
    return status_;
}

} // namespace testsupport

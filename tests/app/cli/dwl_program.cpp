#include "tests/app/cli/dwl_program.h"

#include "tests/support/temp_files.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clitest {

std::string dwlProgram() {
    const std::string dir = testsupport::binaryDir();
    return (dir.empty() ? std::string(".") : dir) + "/app/dwl";
}

std::string examples() {
    return testsupport::sourceDir() + "/examples";
}

std::string sample(const char* name) {
    return quoted(examples() + "/" + name);
}

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string quoted(const std::string& path) {
    std::string out = "'";
    for (char c : path) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

Run runDwl(const std::string& args, const std::string& cwd) {
    testsupport::TempDir scratch;
    const std::string errFile = scratch.file("stderr");
    std::string command;
    if (!cwd.empty()) command = "cd " + quoted(cwd) + " && ";
    command += "timeout -k 5 60 " + quoted(dwlProgram()) + " " + args + " 2>" + quoted(errFile);
    Run run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = fileText(errFile);
    return run;
}

namespace {

using Clock = std::chrono::steady_clock;

// A started dwl: its standard output on a pipe (-1 when closed from the start), its standard
// error in a file.
struct Started {
    pid_t pid = -1;
    int out = -1;
};

Started start(const std::vector<std::string>& args, const std::string& errFile, bool closedOut) {
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, STDERR_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        const std::string program = dwlProgram();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    if (closedOut) {
        close(out[0]);
        out[0] = -1;
    }
    return {pid, out[0]};
}

// Reads fd until its end or the deadline; false at the deadline.
bool readAll(int fd, std::string* text, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[65536];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return true;
        }
        if (text != nullptr) text->append(buffer, static_cast<size_t>(n));
    }
}

Run finish(const Started& s, const std::string& errFile, Clock::time_point deadline) {
    Run run;
    if (s.out >= 0) {
        if (!readAll(s.out, &run.out, deadline)) kill(s.pid, SIGKILL);
        close(s.out);
    }
    int raw = 0;
    waitpid(s.pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = fileText(errFile);
    if (WIFSIGNALED(raw)) run.err += "\n[killed by signal " + std::to_string(WTERMSIG(raw)) + "]\n";
    return run;
}

} // namespace

Run runDwlIntoClosedPipe(const std::vector<std::string>& args) {
    testsupport::TempDir scratch;
    const std::string errFile = scratch.file("stderr");
    const Started s = start(args, errFile, true);
    return finish(s, errFile, Clock::now() + std::chrono::minutes(1));
}

Run runDwlSignalledAt(const std::vector<std::string>& args, const std::string& fifo,
                      const std::string& marker, int signal, int second) {
    testsupport::TempDir scratch;
    const std::string errFile = scratch.file("stderr");
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    if (mkfifo(fifo.c_str(), 0600) != 0) return Run{};
    // Opened before dwl opens it for writing, so that dwl never waits for a reader.
    const int trace = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::vector<std::string> all = args;
    for (const char* a : {"--trace", fifo.c_str(), "--trace-data", "full"})
        all.push_back(a);
    const Started s = start(all, errFile, false);
    std::string seen;
    bool signalled = false;
    while (!signalled && Clock::now() < deadline) {
        pollfd p{trace, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) {
            // A run that ended before it opened the trace.
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(s.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid != 0)
                break;
            continue;
        }
        char buffer[65536];
        const ssize_t n = read(trace, buffer, sizeof buffer);
        if (n == 0) break; // the run closed the trace without showing the marker
        if (n < 0) continue;
        seen.append(buffer, static_cast<size_t>(n));
        if (seen.find(marker) != std::string::npos) {
            kill(s.pid, signal);
            if (second != 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                kill(s.pid, second);
            }
            signalled = true;
        }
        // Only the end matters for the marker; the rest of a full trace is large.
        if (seen.size() > (1u << 20)) seen.erase(0, seen.size() - marker.size());
    }
    if (signalled) {
        // The run goes on to its next wait and ends: drain what it still writes.
        fcntl(trace, F_SETFL, fcntl(trace, F_GETFL) & ~O_NONBLOCK);
        readAll(trace, nullptr, deadline);
    } else {
        kill(s.pid, SIGKILL);
    }
    close(trace);
    return finish(s, errFile, deadline);
}

} // namespace clitest

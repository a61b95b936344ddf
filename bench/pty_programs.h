// The pieces the pseudo-terminal benchmarks share: finding and starting the programs beside
// them, starting and stopping a handset program on its pseudo-terminal, its line report and the
// wire ratio made of it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace ptybench {

inline std::string DirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

inline bool Executable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

inline std::string FindProgram(const std::string& self, const char* name) {
    const std::string dir = DirOf(self);
    for (const std::string& p : {dir + "/../app/" + name, dir + "/" + name})
        if (Executable(p)) return p;
    return "";
}

inline std::string ExamplesDir() {
    const char* env = std::getenv("DWL_SOURCE_DIR");
    std::string root = env && *env ? env : DWL_SOURCE_DIR_DEFAULT;
    return root + "/examples";
}

// Starts a program; its standard output goes to *out (a pipe) or to /dev/null.
inline pid_t Spawn(const std::vector<std::string>& args, int* out) {
    int fds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out) {
        if (pipe(fds) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        close(fds[1]);
        *out = fds[0];
    }
    return pid;
}

inline std::string FirstLine(int fd, int timeoutMs) {
    std::string line;
    char c = 0;
    while (line.size() < 512) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || read(fd, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

struct Handset {
    pid_t pid = -1;
    int out = -1;
    std::string device;
    std::string report;
};

struct LineFigures {
    bool ok = false;
    double span = 0, busy = 0, waits = 0;
};

inline LineFigures ReadReport(const std::string& path) {
    LineFigures f;
    // The handset writes it when it sees the port closed: give it a moment.
    for (int i = 0; i < 200 && !f.ok; ++i) {
        std::ifstream in(path);
        int seen = 0;
        // One figure a line, its name first; the digests of what was written follow.
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string key;
            double value = 0;
            if (!(fields >> key >> value)) continue;
            if (key == "span") f.span = value, ++seen;
            if (key == "busy") f.busy = value, ++seen;
            if (key == "waits") f.waits = value, ++seen;
        }
        f.ok = seen == 3;
        if (!f.ok) usleep(10000);
    }
    return f;
}

inline double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// The device a handset program serves, from the first line it prints
// ("dwl-handset-sim: /dev/pts/7"); empty when the line is not that.
inline std::string HandsetDevice(const std::string& firstLine) {
    static const std::string prefix = "dwl-handset-sim: ";
    if (firstLine.size() <= prefix.size() || firstLine.compare(0, prefix.size(), prefix) != 0)
        return "";
    return firstLine.substr(prefix.size());
}

// Starts a handset program with the examples' flash.txt, `extra` arguments and, when `report`
// is not empty, its line report there; waits for the device it serves. False when it did not
// start (the handset is still to be stopped).
inline bool StartHandset(const std::string& sim, const std::string& examples,
                         const std::vector<std::string>& extra, const std::string& report,
                         Handset* h) {
    std::vector<std::string> args = {sim, "--flash", examples + "/flash.txt"};
    args.insert(args.end(), extra.begin(), extra.end());
    if (!report.empty()) {
        args.push_back("--report");
        args.push_back(report);
        h->report = report;
    }
    h->pid = Spawn(args, &h->out);
    h->device = h->pid > 0 ? HandsetDevice(FirstLine(h->out, 5000)) : "";
    return !h->device.empty();
}

// Stops a handset program and returns the processor seconds it used.
inline double StopHandset(Handset* h) {
    rusage usage{};
    if (h->pid > 0) {
        kill(h->pid, SIGTERM);
        int status = 0;
        wait4(h->pid, &status, 0, &usage);
        h->pid = -1;
    }
    if (h->out >= 0) close(h->out);
    h->out = -1;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// The span of a handset's line activity over the wire time of its bytes plus its own waits;
// false when its report gave no figures.
inline bool WireRatio(const Handset& h, double* ratio) {
    const LineFigures f = ReadReport(h.report);
    if (!f.ok || f.busy + f.waits <= 0) return false;
    *ratio = f.span / (f.busy + f.waits);
    return true;
}

} // namespace ptybench

// The pieces the pseudo-terminal benchmarks share: finding and starting the programs beside
// them, starting and stopping a handset program on its pseudo-terminal, its line report and the
// wire ratio made of it.
#pragma once

#include "link/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

// Starts a program; its standard output goes to a pipe (child->out) or to /dev/null. False
// when it did not start.
inline bool Spawn(const std::vector<std::string>& args, bool pipeOut, ChildHandle* child) {
    ChildOptions options;
    options.out = pipeOut ? kChildPipe : kChildNull;
    return dwl_StartProgram(args[0], {args.begin() + 1, args.end()}, options, child);
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
    ChildHandle child;
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
    // Read once the handset program has stopped: it ends its session first, so the report is
    // whole on disk.
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
    return f;
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
    const bool started = Spawn(args, true, &h->child);
    h->out = h->child.out;
    h->device = started ? HandsetDevice(FirstLine(h->out, 5000)) : "";
    return !h->device.empty();
}

// Stops a handset program and returns the processor seconds it used.
inline double StopHandset(Handset* h) {
    ChildHandle& c = h->child;
    c.userSeconds = c.systemSeconds = 0;
    if (c.pid > 0) {
        dwl_SignalChild(c, SIGTERM);
        dwl_WaitChild(&c, -1, nullptr);
    }
    if (h->out >= 0) close(h->out);
    h->out = -1;
    return c.userSeconds + c.systemSeconds;
}

// The span of a handset's line activity over the wire time of its bytes plus its own waits;
// false when its report gave no figures. Read after StopHandset.
inline bool WireRatio(const Handset& h, double* ratio) {
    const LineFigures f = ReadReport(h.report);
    if (!f.ok || f.busy + f.waits <= 0) return false;
    *ratio = f.span / (f.busy + f.waits);
    return true;
}

} // namespace ptybench

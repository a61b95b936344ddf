// The pieces the pseudo-terminal benchmarks share: finding and starting the programs beside
// them, the handset program's first line, its line report.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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

} // namespace ptybench

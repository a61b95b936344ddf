#include "app/cli/port_fanout.h"

#include "app/cli/exit_status.h"
#include "app/cli/json_text.h"
#include "app/cli/run_signals.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dwlcli {

namespace {

struct Child {
    std::string name;
    pid_t pid = -1;
    int out = -1; // the child's standard output
    int err = -1; // its standard error
    std::string outPartial, errPartial;
    std::string json;
    std::string lastResult;
    int status = kExitInternal;
};

// Passes complete lines on; keeps the rest for later.
void passLines(Child& c, std::string& partial, const char* data, size_t n, FILE* to,
               bool collectJson) {
    if (collectJson) {
        c.json.append(data, n);
        return;
    }
    partial.append(data, n);
    size_t start = 0;
    for (;;) {
        const size_t nl = partial.find('\n', start);
        if (nl == std::string::npos) break;
        const std::string line = partial.substr(start, nl - start);
        if (line.rfind("result: ", 0) == 0) c.lastResult = line.substr(8);
        fprintf(to, "[%s] %s\n", c.name.c_str(), line.c_str());
        start = nl + 1;
    }
    partial.erase(0, start);
    fflush(to);
}

} // namespace

std::string perPortLogFile(const std::string& logFile, const std::string& portName) {
    std::string name = portName;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    for (char& c : name)
        if (c == ' ' || c == ':') c = '_';
    return logFile + "." + name;
}

int fanOut(const std::vector<std::string>& names, bool json,
           const std::function<int(size_t)>& child) {
    std::vector<Child> children(names.size());
    fflush(stdout);
    fflush(stderr);
    for (size_t i = 0; i < names.size(); i++) {
        Child& c = children[i];
        c.name = names[i];
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) {
            fprintf(stderr, "dwl: cannot make a pipe: %s\n", strerror(errno));
            continue;
        }
        c.pid = fork();
        if (c.pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            close(err[0]);
            close(err[1]);
            for (size_t j = 0; j < i; j++) {
                close(children[j].out);
                close(children[j].err);
            }
            const RunSignals signals(false);
            const int status = child(i);
            fflush(stdout);
            fflush(stderr);
            _exit(status);
        }
        close(out[1]);
        close(err[1]);
        if (c.pid < 0) {
            fprintf(stderr, "dwl: cannot start a process for %s: %s\n", c.name.c_str(),
                    strerror(errno));
            close(out[0]);
            close(err[0]);
            continue;
        }
        c.out = out[0];
        c.err = err[0];
    }

    // The stop signals arrive only inside the wait (ppoll), so that none slips in between the
    // look at what was received and the wait.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    bool forwarded = false;
    for (;;) {
        // A signal that stops the run may have reached this process alone (sent by number):
        // each port's run gets it too and ends at its next wait.
        const int signal = RunSignals::received();
        if (signal != 0 && !forwarded) {
            forwarded = true;
            for (const Child& c : children)
                if (c.pid > 0) kill(c.pid, signal);
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<size_t, bool>> owners; // child, is stdout
        for (size_t i = 0; i < children.size(); i++) {
            if (children[i].out >= 0) {
                fds.push_back({children[i].out, POLLIN, 0});
                owners.emplace_back(i, true);
            }
            if (children[i].err >= 0) {
                fds.push_back({children[i].err, POLLIN, 0});
                owners.emplace_back(i, false);
            }
        }
        if (fds.empty()) break;
        if (ppoll(fds.data(), fds.size(), nullptr, &waitMask) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t k = 0; k < fds.size(); k++) {
            if (fds[k].revents == 0) continue;
            Child& c = children[owners[k].first];
            const bool isOut = owners[k].second;
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[k].fd);
                (isOut ? c.out : c.err) = -1;
                continue;
            }
            if (isOut)
                passLines(c, c.outPartial, buffer, static_cast<size_t>(n), stdout, json);
            else
                passLines(c, c.errPartial, buffer, static_cast<size_t>(n), stderr, false);
        }
    }

    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
    int overall = 0;
    for (Child& c : children) {
        if (c.pid > 0) {
            int raw = 0;
            while (waitpid(c.pid, &raw, 0) < 0 && errno == EINTR) {
            }
            // A port's process that a second signal ended has the status a shell gives it.
            c.status = WIFEXITED(raw)     ? WEXITSTATUS(raw)
                       : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw)
                                          : kExitInternal;
        }
        if (c.status != 0 && overall == 0) overall = c.status;
    }
    if (json) {
        nlohmann::ordered_json all;
        all["exit_status"] = overall;
        all["ports"] = nlohmann::ordered_json::array();
        for (Child& c : children) {
            // A child that died before its summary gives null.
            nlohmann::ordered_json object = nlohmann::ordered_json::parse(c.json, nullptr, false);
            all["ports"].push_back(object.is_discarded() ? nullptr : object);
        }
        const bool printed = printf("%s\n", jsonText(all).c_str()) > 0;
        if (fflush(stdout) != 0 || !printed) {
            fprintf(stderr, "dwl: the JSON summary could not be written: %s\n", strerror(errno));
            if (overall == kExitSuccess) overall = kExitRecordLost;
        }
    } else {
        for (const Child& c : children) {
            if (c.status == 0)
                printf("%s: success: %s\n", c.name.c_str(), c.lastResult.c_str());
            else
                printf("%s: FAILED (exit %d): %s\n", c.name.c_str(), c.status,
                       c.lastResult.empty() ? "no result" : c.lastResult.c_str());
        }
    }
    fflush(stdout);
    return overall;
}

} // namespace dwlcli

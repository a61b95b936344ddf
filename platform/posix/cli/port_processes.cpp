// The ports' processes forked from this one: each runs its port's part of the command at once.
#include "app/cli/port_processes.h"

#include "app/cli/run_signals.h"
#include "app/run/exit_status.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dwlcli {

namespace {

struct PortProcess {
    pid_t pid = -1;
    int out = -1; // the child's standard output
    int err = -1; // its standard error
};

// Starts child(i) in a forked process whose standard output and error go to pipes.
PortProcess startPort(size_t i, const std::string& name, const std::vector<PortProcess>& started,
                      const std::function<int(size_t)>& child) {
    PortProcess p;
    int out[2], err[2];
    if (pipe(out) != 0) {
        fprintf(stderr, "dwl: cannot make a pipe: %s\n", strerror(errno));
        return p;
    }
    if (pipe(err) != 0) {
        fprintf(stderr, "dwl: cannot make a pipe: %s\n", strerror(errno));
        close(out[0]);
        close(out[1]);
        return p;
    }
    p.pid = fork();
    if (p.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : {out[0], out[1], err[0], err[1]})
            close(fd);
        for (const PortProcess& other : started) {
            if (other.out >= 0) close(other.out);
            if (other.err >= 0) close(other.err);
        }
        const RunSignals signals(false);
        const int status = child(i);
        fflush(stdout);
        fflush(stderr);
        _exit(status);
    }
    close(out[1]);
    close(err[1]);
    if (p.pid < 0) {
        fprintf(stderr, "dwl: cannot start a process for %s: %s\n", name.c_str(), strerror(errno));
        close(out[0]);
        close(err[0]);
        return p;
    }
    p.out = out[0];
    p.err = err[0];
    return p;
}

} // namespace

std::vector<int> runPortProcesses(const std::vector<std::string>& names,
                                  const std::function<int(size_t)>& child,
                                  const PortOutput& output) {
    std::vector<PortProcess> ports;
    fflush(stdout);
    fflush(stderr);
    for (size_t i = 0; i < names.size(); i++)
        ports.push_back(startPort(i, names[i], ports, child));

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
            for (const PortProcess& p : ports)
                if (p.pid > 0) kill(p.pid, signal);
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<size_t, bool>> owners; // port, is stdout
        for (size_t i = 0; i < ports.size(); i++) {
            if (ports[i].out >= 0) {
                fds.push_back({ports[i].out, POLLIN, 0});
                owners.emplace_back(i, true);
            }
            if (ports[i].err >= 0) {
                fds.push_back({ports[i].err, POLLIN, 0});
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
            PortProcess& p = ports[owners[k].first];
            const bool isOut = owners[k].second;
            char buffer[4096];
            const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[k].fd);
                (isOut ? p.out : p.err) = -1;
                continue;
            }
            output(owners[k].first, isOut, buffer, static_cast<size_t>(n));
        }
    }
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);

    std::vector<int> statuses(ports.size(), kExitInternal);
    for (size_t i = 0; i < ports.size(); i++) {
        if (ports[i].pid <= 0) continue;
        int raw = 0;
        while (waitpid(ports[i].pid, &raw, 0) < 0 && errno == EINTR) {
        }
        // A port's process that a second signal ended has the status a shell gives it.
        statuses[i] = WIFEXITED(raw)     ? WEXITSTATUS(raw)
                      : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw)
                                         : kExitInternal;
    }
    return statuses;
}

bool runAsPortProcess(const std::vector<std::string>&, const std::function<int(size_t)>&, int*) {
    // A forked port's process runs its part at once and never comes here.
    return false;
}

} // namespace dwlcli

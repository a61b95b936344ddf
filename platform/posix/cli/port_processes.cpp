// The ports' processes forked from this one: each runs its port's part of the command at once.
#include "app/cli/port_processes.h"

#include "app/cli/run_signals.h"
#include "app/run/exit_status.h"
#include "link/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace dwlcli {

namespace {

struct PortProcess {
    ChildHandle child;
    int out = -1; // the child's standard output
    int err = -1; // its standard error
};

// Starts child(i) in a forked process whose standard output and error go to pipes.
PortProcess startPort(size_t i, const std::string& name, const std::vector<PortProcess>& started,
                      const std::function<int(size_t)>& child) {
    PortProcess p;
    ChildOptions options;
    options.out = kChildPipe;
    options.err = kChildPipe;
    for (const PortProcess& other : started)
        for (int fd : {other.out, other.err})
            if (fd >= 0) options.closeInChild.push_back(fd);
    const bool ok = dwl_StartFunction(
        [&] {
            const RunSignals signals(false);
            return child(i);
        },
        options, &p.child);
    if (!ok) {
        if (p.child.pipeFailed)
            fprintf(stderr, "dwl: cannot make a pipe: %s\n", strerror(p.child.error));
        else
            fprintf(stderr, "dwl: cannot start a process for %s: %s\n", name.c_str(),
                    strerror(p.child.error));
        return p;
    }
    p.out = p.child.out;
    p.err = p.child.err;
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
                dwl_SignalChild(p.child, signal);
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
        int raw = 0;
        if (!dwl_WaitChild(&ports[i].child, -1, &raw)) continue;
        // A port's process that a second signal ended has the status a shell gives it.
        statuses[i] = dwl_ChildExitStatus(raw, kExitInternal);
    }
    return statuses;
}

bool runAsPortProcess(const std::vector<std::string>&, const std::function<int(size_t)>&, int*) {
    // A forked port's process runs its part at once and never comes here.
    return false;
}

} // namespace dwlcli

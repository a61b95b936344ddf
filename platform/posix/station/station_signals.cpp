// The station's own process on POSIX systems: signals counted by their handlers and let through
// only in ppoll(), the port processes forked, the terminal's width from TIOCGWINSZ.
#include "app/station/station_signals.h"

#include <cerrno>
#include <cmath>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dwlcli {

namespace {

constexpr int a_Signals[3] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only leave its news in globals.
volatile sig_atomic_t mv_Interrupts = 0;
volatile sig_atomic_t mv_Terminated = 0;

void onSignal(int signal) {
    if (signal == SIGINT)
        mv_Interrupts = mv_Interrupts + 1;
    else
        mv_Terminated = 1;
}

} // namespace

struct StationSignals::Saved {
    struct sigaction previous[4];
    sigset_t waitMask;
    // For a port process after fork(): the signals' dispositions as they were before; they
    // stay blocked until the port's own handlers are in place (port_stop_signals.h).
    void restore() const {
        for (int i = 0; i < 3; i++)
            sigaction(a_Signals[i], &previous[i], nullptr);
        sigaction(SIGPIPE, &previous[3], nullptr);
    }
};

StationSignals::StationSignals() : saved_(std::make_unique<Saved>()) {
    mv_Interrupts = 0;
    mv_Terminated = 0;
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : a_Signals)
        sigaddset(&stop, s);
    sigprocmask(SIG_BLOCK, &stop, &saved_->waitMask);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; i++)
        sigaction(a_Signals[i], &action, &saved_->previous[i]);
    // A closed output pipe must not end the station: its writes fail instead.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &saved_->previous[3]);
}

StationSignals::~StationSignals() {
    saved_->restore();
    sigprocmask(SIG_SETMASK, &saved_->waitMask, nullptr);
}

int StationSignals::interrupts() {
    return mv_Interrupts;
}

bool StationSignals::terminated() {
    return mv_Terminated != 0;
}

bool StationSignals::startPort(size_t, const std::function<int()>& body, ChildOptions options,
                               ChildHandle* child) const {
    return dwl_StartFunction(
        [&] {
            saved_->restore();
            signal(SIGPIPE, SIG_IGN);
            return body();
        },
        options, child);
}

int StationSignals::portOfThisProcess() {
    return -1; // a forked port process runs its part at once
}

std::vector<PipeBytes> StationSignals::wait(const std::vector<int>& fds,
                                            double timeoutSeconds) const {
    std::vector<pollfd> polled;
    for (int fd : fds)
        polled.push_back({fd, POLLIN, 0});
    timespec timeout{};
    if (timeoutSeconds >= 0) {
        timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
        timeout.tv_nsec = static_cast<long>((timeoutSeconds - std::floor(timeoutSeconds)) * 1e9);
    }
    std::vector<PipeBytes> got;
    const int rc = ppoll(polled.data(), polled.size(), timeoutSeconds >= 0 ? &timeout : nullptr,
                         &saved_->waitMask);
    if (rc <= 0) return got;
    for (const pollfd& p : polled) {
        if (p.revents == 0) continue;
        char buffer[8192];
        const ssize_t n = read(p.fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        PipeBytes b;
        b.fd = p.fd;
        if (n > 0) b.bytes.assign(buffer, static_cast<size_t>(n));
        got.push_back(b);
    }
    return got;
}

bool StationSignals::boardConsole() {
    return isatty(STDOUT_FILENO) != 0;
}

size_t StationSignals::consoleWidth() {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 0;
}

} // namespace dwlcli

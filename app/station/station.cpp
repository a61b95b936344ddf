#include "app/station/station.h"

#include "app/options/unit_scan.h"
#include "app/results/results_journal.h"
#include "app/results/results_sender_process.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"
#include "app/run/json_text.h"
#include "app/station/station_board.h"
#include "app/station/station_signals.h"
#include "link/child_process.h"
#include "link/wire_clock.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dwlcli {

namespace {

// A port process that ended by itself is started again after this long (seconds).
constexpr double kRestartDelay = 1.0;
// While runs wait in the journal, the station adds them to the database this often (seconds),
// waiting for a busy database this long at most (milliseconds): the board stays live.
constexpr double kJournalRetrySeconds = 10.0;
constexpr int kJournalRetryBusyMs = 250;
// How long a stop waits for the sender's last attempt at most (seconds).
constexpr double kSenderStopSeconds = 6.0;
// A terminal is redrawn at most this often (seconds).
constexpr double kRedrawInterval = 0.25;

struct PortProcess {
    ChildHandle child;
    int events = -1; // its standard output: event lines
    int errors = -1; // its standard error
    std::string eventsPartial, errorsPartial;
    bool inRun = false;
    bool finished = false;   // ended for good
    double restartAt = -1.0; // when to start it again; < 0: not waiting for that
    int status = 0;
    bool recordLost = false; // it ended with its log incomplete
    int scans = -1;          // where its units' scans go (its standard input), or -1
    std::string nextUnit;    // the unit sent for its next run, until a run takes it
};

class Station {
  public:
    Station(const StationSettings& s, const StationSignals& signals)
        : s_(s), signals_(signals), board_(labels(s), dwl_MonotonicSeconds()),
          terminal_(!s.jsonLines && isatty(STDOUT_FILENO) != 0), ports_(s.ports.size()) {}

    int run();

  private:
    static std::vector<PortLabel> labels(const StationSettings& s) {
        std::vector<PortLabel> out;
        for (const StationPortSettings& p : s.ports)
            out.push_back(p.label);
        return out;
    }
    void start(size_t i);
    void ended(size_t i);
    void readFrom(size_t i, bool events);
    void eventLine(size_t i, const std::string& line);
    void errorLine(size_t i, const std::string& line);
    void publish(const Json& event, const std::string* asReceived = nullptr);
    void forward(int signal);
    void startSender();
    void readSender();
    void stopSender();
    void redraw(bool force);
    void clearBoard();
    // Adds the journal's runs to the database (busyMs: how long a busy one is waited for), and
    // says what still waits when that changed.
    void replayJournal(int busyMs);
    void journalChanged(const std::string& error);
    // The units' scans on standard input (--units-from-stdin), a line "PORT ID" each.
    void readScans();
    void scanLine(const std::string& line);
    bool sendUnit(PortProcess& p, const std::string& unit);

    const StationSettings& s_;
    const StationSignals& signals_;
    StationBoard board_;
    bool terminal_;
    std::vector<PortProcess> ports_;
    int runsEnded_ = 0;
    int interruptsForwarded_ = 0;
    bool cancelForwarded_ = false;
    bool stopping_ = false;
    bool dirty_ = true;
    double lastDraw_ = -1e9;
    size_t drawnLines_ = 0;
    // The sender of the runs to the line's results server, when there is one.
    ChildHandle sender_;
    int senderEvents_ = -1;
    std::string senderPartial_;
    SenderStatus server_;
    // The runs waiting in the journal instead of the database, as last said.
    long long unrecorded_ = 0;
    std::string unrecordedWhy_;
    double retryJournalAt_ = -1.0;
    // Standard input while scans come on it, else -1.
    int scansIn_ = -1;
    std::string scansPartial_;
};

void Station::readScans() {
    char buffer[4096];
    const ssize_t n = read(scansIn_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        // The scans ended; a line cut short is taken as it is.
        scansIn_ = -1;
        if (!scansPartial_.empty()) scanLine(scansPartial_);
        scansPartial_.clear();
        return;
    }
    scansPartial_.append(buffer, static_cast<size_t>(n));
    size_t at = 0;
    for (size_t nl; (nl = scansPartial_.find('\n', at)) != std::string::npos; at = nl + 1)
        scanLine(scansPartial_.substr(at, nl - at));
    scansPartial_.erase(0, at);
    // A line longer than any scan can be is refused now, not gathered for ever.
    if (scansPartial_.size() > 1024) {
        publish(unitRefusedEvent(scansPartial_.substr(0, 80) + "...", "",
                                 "a line longer than 1024 bytes"));
        scansPartial_.clear();
    }
}

bool Station::sendUnit(PortProcess& p, const std::string& unit) {
    const std::string line = unit + "\n";
    // A line of a scan fits in the pipe whole or not at all (PIPE_BUF).
    return p.scans >= 0 &&
           write(p.scans, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

void Station::scanLine(const std::string& line) {
    std::string port, unit, why;
    if (!parseUnitScanLine(line, &port, &unit, &why)) {
        // A blank line (a scanner's extra Enter) says nothing.
        if (!trimmedUnitId(line).empty()) publish(unitRefusedEvent(line, "", why));
        return;
    }
    size_t i = 0;
    const auto same = [](const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (size_t k = 0; k < a.size(); k++)
            if (tolower(static_cast<unsigned char>(a[k])) !=
                tolower(static_cast<unsigned char>(b[k])))
                return false;
        return true;
    };
    while (i < s_.ports.size() && !same(s_.ports[i].label.port, port) &&
           s_.ports[i].label.device != port)
        i++;
    if (i == s_.ports.size()) {
        std::string ports;
        for (const StationPortSettings& p : s_.ports)
            ports += (ports.empty() ? "" : ", ") + p.label.port;
        publish(unitRefusedEvent(line, "", "no port " + port + " at this station (" + ports + ")"));
        return;
    }
    const PortLabel& label = s_.ports[i].label;
    const std::string problem = unitIdProblem(unit);
    if (!problem.empty()) {
        publish(unitRefusedEvent(line, label.port, problem));
        return;
    }
    PortProcess& p = ports_[i];
    if (p.finished) {
        publish(unitRefusedEvent(line, label.port, "port " + label.port + " has stopped"));
        return;
    }
    // A port whose process starts again gets it then.
    if (p.child.pid > 0 && !sendUnit(p, unit)) {
        publish(unitRefusedEvent(line, label.port,
                                 "port " + label.port + " takes no scan now: " + strerror(errno)));
        return;
    }
    publish(unitScannedEvent(label, unit, p.inRun, p.nextUnit));
    p.nextUnit = unit;
}

void Station::journalChanged(const std::string& error) {
    const long long waiting = journalCount(s_.start.results);
    // A run recorded says no error: the reason the others wait stays.
    const std::string why = waiting <= 0 ? "" : error.empty() ? unrecordedWhy_ : error;
    if (waiting > 0)
        retryJournalAt_ = dwl_MonotonicSeconds() + kJournalRetrySeconds;
    else
        retryJournalAt_ = -1.0;
    if (waiting == unrecorded_ && why == unrecordedWhy_) return;
    unrecorded_ = waiting;
    unrecordedWhy_ = why;
    publish(unrecordedEvent(waiting, journalPath(s_.start.results), why));
}

void Station::replayJournal(int busyMs) {
    ResultsDb db;
    std::string why;
    long long waiting = 0;
    if (db.openForWriting(s_.start.results, &why, busyMs))
        journalReplay(s_.start.results, &db, &waiting, &why);
    journalChanged(why);
    // Rows that reached the database go on to the server too.
    if (unrecorded_ == 0) dwl_SignalChild(sender_, SIGUSR1);
}

void Station::startSender() {
    if (s_.resultsServer.empty()) return;
    std::string why;
    if (startResultsSender(s_.start.results, s_.resultsServer, &sender_, &why))
        senderEvents_ = sender_.out;
    else
        fprintf(stderr, "dwl: the runs stay in %s: %s\n", s_.start.results.c_str(), why.c_str());
}

void Station::readSender() {
    char buffer[4096];
    const ssize_t n = read(senderEvents_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        close(senderEvents_);
        senderEvents_ = -1;
        return;
    }
    senderPartial_.append(buffer, static_cast<size_t>(n));
    size_t startAt = 0;
    for (size_t nl; (nl = senderPartial_.find('\n', startAt)) != std::string::npos;
         startAt = nl + 1) {
        const std::string line = senderPartial_.substr(startAt, nl - startAt);
        const SenderStatus before = server_;
        if (!readServerEvent(line, dwl_MonotonicSeconds(), &server_)) continue;
        if (s_.jsonLines) {
            printf("%s\n", line.c_str());
            fflush(stdout);
        } else if (!terminal_ &&
                   (server_.error != before.error || server_.waiting != before.waiting)) {
            // Plain output: the server's state when it changes.
            printf("%s\n", serverStatusText(server_, dwl_MonotonicSeconds()).c_str());
            fflush(stdout);
        }
        dirty_ = true;
    }
    senderPartial_.erase(0, startAt);
}

void Station::stopSender() {
    if (sender_.pid < 0) return;
    // One last attempt, so that the last runs go too when the server takes them.
    dwl_SignalChild(sender_, SIGTERM);
    // The sender bounds its last attempt; a sender stuck all the same is ended.
    const double deadline = dwl_MonotonicSeconds() + kSenderStopSeconds;
    while (senderEvents_ >= 0) {
        const double left = deadline - dwl_MonotonicSeconds();
        pollfd p{senderEvents_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left * 1000) + 1) == 0) {
            dwl_SignalChild(sender_, SIGKILL);
            close(senderEvents_);
            senderEvents_ = -1;
            break;
        }
        readSender();
    }
    dwl_WaitChild(&sender_, -1, nullptr);
}

void Station::publish(const Json& event, const std::string* asReceived) {
    board_.take(event);
    if (s_.jsonLines) {
        printf("%s\n", asReceived != nullptr ? asReceived->c_str() : jsonText(event).c_str());
        fflush(stdout);
    } else if (!terminal_) {
        const std::string line = StationBoard::plainLine(event);
        if (!line.empty()) {
            printf("%s\n", line.c_str());
            fflush(stdout);
        }
    }
    dirty_ = true;
}

void Station::clearBoard() {
    if (!terminal_ || drawnLines_ == 0) return;
    printf("\033[%zuA\r\033[J", drawnLines_);
    drawnLines_ = 0;
}

void Station::redraw(bool force) {
    if (!terminal_ || !dirty_) return;
    const double now = dwl_MonotonicSeconds();
    if (!force && now - lastDraw_ < kRedrawInterval) return;
    winsize size{};
    const size_t width =
        ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 0;
    std::vector<std::string> lines = board_.lines(now, width);
    if (!s_.resultsServer.empty()) lines.push_back(serverStatusText(server_, now));
    std::string text;
    if (drawnLines_ > 0) text += "\033[" + std::to_string(drawnLines_) + "A";
    for (const std::string& line : lines)
        text += "\r\033[K" + line + "\n";
    fputs(text.c_str(), stdout);
    fflush(stdout);
    drawnLines_ = lines.size();
    lastDraw_ = now;
    dirty_ = false;
}

void Station::errorLine(size_t i, const std::string& line) {
    clearBoard();
    fprintf(stderr, "[%s] %s\n", s_.ports[i].label.port.c_str(), line.c_str());
    fflush(stderr);
    dirty_ = true;
    redraw(true);
}

void Station::eventLine(size_t i, const std::string& line) {
    const Json event = Json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) {
        errorLine(i, line);
        return;
    }
    const std::string name = event.value("event", "");
    if (name == "run_started") {
        ports_[i].inRun = true;
        // The run took the unit sent for it; one sent since waits for the next.
        if (event.value("unit", Json()) == Json(ports_[i].nextUnit)) ports_[i].nextUnit.clear();
    }
    publish(event, &line);
    // A run refused by the database waits in the journal; a run recorded took the journal's
    // runs along.
    if (name == "run_ended" && (!event.value("recorded", true) || unrecorded_ > 0))
        journalChanged(event.value("record_error", std::string()));
    if (name == "run_ended") {
        ports_[i].inRun = false;
        runsEnded_++;
        // The run is in the local file: the sender tries the server now.
        dwl_SignalChild(sender_, SIGUSR1);
        publish(board_.totals(dwl_MonotonicSeconds()));
    }
}

void Station::readFrom(size_t i, bool events) {
    PortProcess& p = ports_[i];
    int& fd = events ? p.events : p.errors;
    std::string& partial = events ? p.eventsPartial : p.errorsPartial;
    char buffer[8192];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        close(fd);
        fd = -1;
        if (p.events < 0 && p.errors < 0) ended(i);
        return;
    }
    partial.append(buffer, static_cast<size_t>(n));
    size_t startAt = 0;
    for (size_t nl; (nl = partial.find('\n', startAt)) != std::string::npos; startAt = nl + 1) {
        const std::string line = partial.substr(startAt, nl - startAt);
        if (events)
            eventLine(i, line);
        else
            errorLine(i, line);
    }
    partial.erase(0, startAt);
}

void Station::start(size_t i) {
    PortProcess& p = ports_[i];
    ChildOptions options;
    options.in = s_.unitsFromStdin ? kChildPipe : kChildNull;
    options.out = kChildPipe;
    options.err = kChildPipe;
    // Its own process group: Ctrl-C reaches the station alone, which passes each one on.
    options.ownGroup = true;
    // A station that dies takes its ports along: their runs are cancelled.
    options.parentDeathSignal = SIGTERM;
    options.orphanStatus = kExitInternal;
    for (const PortProcess& other : ports_)
        for (int fd : {other.events, other.errors, other.scans})
            if (fd >= 0) options.closeInChild.push_back(fd);
    if (senderEvents_ >= 0) options.closeInChild.push_back(senderEvents_);
    const bool started = dwl_StartFunction(
        [&] {
            signals_.restoreInChild();
            signal(SIGPIPE, SIG_IGN);
            return runStationPort(s_.ports[i], stdout);
        },
        options, &p.child);
    if (!started) {
        p.finished = true;
        board_.portStopped(i, std::string(p.child.pipeFailed ? "cannot make a pipe: "
                                                             : "cannot start its process: ") +
                                  strerror(p.child.error));
        return;
    }
    p.events = p.child.out;
    p.errors = p.child.err;
    p.scans = p.child.in;
    if (p.scans >= 0) {
        // A port that does not read its scans never holds the station up.
        fcntl(p.scans, F_SETFL, fcntl(p.scans, F_GETFL) | O_NONBLOCK);
        fcntl(p.scans, F_SETFD, FD_CLOEXEC);
        // The unit sent to the process before stays the next run's.
        if (!p.nextUnit.empty()) sendUnit(p, p.nextUnit);
    }
    p.restartAt = -1.0;
    // A port process started while the station stops has a stop to catch up with.
    if (interruptsForwarded_ > 0) dwl_SignalChild(p.child, SIGINT);
    if (interruptsForwarded_ > 1 || cancelForwarded_) dwl_SignalChild(p.child, SIGTERM);
}

void Station::ended(size_t i) {
    PortProcess& p = ports_[i];
    int raw = 0;
    dwl_WaitChild(&p.child, -1, &raw);
    if (p.scans >= 0) close(p.scans);
    p.scans = -1;
    const bool wasInRun = p.inRun;
    p.inRun = false;
    // A port whose record was lost says so at the end, however the station stops.
    if (WIFEXITED(raw) && WEXITSTATUS(raw) == kExitRecordLost) p.recordLost = true;
    if (stopping_) {
        p.finished = true;
        board_.portStopped(i, "the station stops");
        dirty_ = true;
        return;
    }
    if (WIFEXITED(raw) && WEXITSTATUS(raw) != 0) {
        // Its settings cannot run (the reason is on its standard error).
        p.finished = true;
        p.status = WEXITSTATUS(raw);
        board_.portStopped(i, "exit " + std::to_string(p.status));
        dirty_ = true;
        return;
    }
    std::string why =
        WIFSIGNALED(raw) ? "the port's process was ended by signal " + std::to_string(WTERMSIG(raw))
                         : std::string("the port's process ended");
    if (wasInRun) why += " during a run: the handset may be partly written";
    publish(portLostEvent(s_.ports[i].label, why));
    p.restartAt = dwl_MonotonicSeconds() + kRestartDelay;
}

void Station::forward(int signal) {
    for (const PortProcess& p : ports_)
        dwl_SignalChild(p.child, signal);
}

int Station::run() {
    publish(stationStartedEvent(s_.start));
    // Runs that waited in the journal since the last start (prepareStation tried them).
    journalChanged(s_.journalError);
    // Before the ports: their processes are forked from this one.
    startSender();
    if (s_.unitsFromStdin) scansIn_ = STDIN_FILENO;
    for (size_t i = 0; i < ports_.size(); i++)
        start(i);
    for (;;) {
        // The stops received, each passed on once.
        const int interrupts = StationSignals::interrupts();
        const bool demoDone = s_.stopAfterRuns > 0 && runsEnded_ >= s_.stopAfterRuns;
        if ((interrupts > 0 || demoDone) && interruptsForwarded_ == 0) {
            stopping_ = true;
            interruptsForwarded_ = 1;
            forward(SIGINT);
            publish(stoppingEvent(false));
        }
        if (interrupts >= 2 && interruptsForwarded_ == 1) {
            // Another signal than the first: two of the same could reach a port process that
            // has not run in between as one.
            interruptsForwarded_ = 2;
            forward(SIGTERM);
            publish(stoppingEvent(true));
        }
        if (StationSignals::terminated() && !cancelForwarded_) {
            stopping_ = true;
            cancelForwarded_ = true;
            forward(SIGTERM);
            if (interruptsForwarded_ < 2) publish(stoppingEvent(true));
        }
        const double now = dwl_MonotonicSeconds();
        std::vector<pollfd> fds;
        std::vector<std::pair<size_t, bool>> owners;
        double wake = -1.0;
        bool alive = false;
        for (size_t i = 0; i < ports_.size(); i++) {
            PortProcess& p = ports_[i];
            if (p.restartAt >= 0 && !stopping_ && now >= p.restartAt) {
                start(i);
                if (p.child.pid > 0) publish(portBackEvent(s_.ports[i].label));
            }
            if (p.restartAt >= 0 && stopping_) {
                p.restartAt = -1.0;
                p.finished = true;
            }
            if (p.restartAt >= 0) wake = wake < 0 ? p.restartAt : std::min(wake, p.restartAt);
            for (bool events : {true, false}) {
                const int fd = events ? p.events : p.errors;
                if (fd < 0) continue;
                fds.push_back({fd, POLLIN, 0});
                owners.emplace_back(i, events);
            }
            alive = alive || p.child.pid > 0 || p.restartAt >= 0;
        }
        if (!alive) break;
        if (retryJournalAt_ >= 0 && now >= retryJournalAt_) replayJournal(kJournalRetryBusyMs);
        if (retryJournalAt_ >= 0)
            wake = wake < 0 ? retryJournalAt_ : std::min(wake, retryJournalAt_);
        if (senderEvents_ >= 0) {
            fds.push_back({senderEvents_, POLLIN, 0});
            owners.emplace_back(ports_.size(), true);
        }
        if (scansIn_ >= 0) {
            fds.push_back({scansIn_, POLLIN, 0});
            owners.emplace_back(ports_.size() + 1, true);
        }
        if (terminal_ && dirty_) {
            const double due = lastDraw_ + kRedrawInterval;
            wake = wake < 0 ? due : std::min(wake, due);
        }
        timespec timeout{};
        if (wake >= 0) {
            const double left = std::max(0.0, wake - now);
            timeout.tv_sec = static_cast<time_t>(left);
            timeout.tv_nsec = static_cast<long>((left - std::floor(left)) * 1e9);
        }
        const int rc =
            ppoll(fds.data(), fds.size(), wake >= 0 ? &timeout : nullptr, signals_.waitMask());
        if (rc > 0) {
            for (size_t k = 0; k < fds.size(); k++) {
                if (fds[k].revents == 0) continue;
                if (owners[k].first == ports_.size() + 1)
                    readScans();
                else if (owners[k].first == ports_.size())
                    readSender();
                else
                    readFrom(owners[k].first, owners[k].second);
            }
        }
        redraw(false);
    }

    const char* reason = cancelForwarded_ || interruptsForwarded_ >= 2 ? "cancelled"
                         : interruptsForwarded_ > 0                    ? "interrupted"
                                                                       : "ports_done";
    // A last try for the runs in the journal, before the sender's last attempt.
    journalChanged(unrecordedWhy_);
    if (unrecorded_ > 0) replayJournal(kDefaultBusyTimeoutMs);
    stopSender();
    publish(board_.totals(dwl_MonotonicSeconds()));
    publish(stationStoppedEvent(reason));
    dirty_ = true;
    redraw(true);
    if (terminal_) printf("station stopped (%s)\n", reason);
    fflush(stdout);
    int status = 0;
    for (const PortProcess& p : ports_)
        if (p.recordLost) status = kExitRecordLost;
    for (const PortProcess& p : ports_)
        if (status == 0 && p.status != 0 && std::string(reason) == "ports_done") status = p.status;
    if (unrecorded_ > 0) {
        // Not a success: finished runs are not in the database yet.
        fprintf(stderr,
                "dwl: %lld finished run%s not in %s (%s); %s in %s and %s added at the next "
                "start\n",
                unrecorded_, unrecorded_ == 1 ? " is" : "s are", s_.start.results.c_str(),
                unrecordedWhy_.c_str(), unrecorded_ == 1 ? "it waits" : "they wait",
                journalPath(s_.start.results).c_str(), unrecorded_ == 1 ? "is" : "are");
        if (status == 0) status = kExitRecordLost;
    }
    return status;
}

} // namespace

int runStation(const StationSettings& settings) {
    // The runs' times of every port process run on from here.
    steadyEpochNow();
    const StationSignals signals;
    Station station(settings, signals);
    return station.run();
}

} // namespace dwlcli

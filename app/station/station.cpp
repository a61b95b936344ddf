#include "app/station/station.h"

#include "app/results/results_journal.h"
#include "app/results/results_sender_process.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"
#include "app/run/json_text.h"
#include "app/station/station_board.h"
#include "app/station/station_signals.h"
#include "link/child_process.h"
#include "link/wire_clock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

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
};

class Station {
  public:
    Station(const StationSettings& s, const StationSignals& signals)
        : s_(s), signals_(signals), board_(labels(s), dwl_MonotonicSeconds()),
          terminal_(!s.jsonLines && StationSignals::boardConsole()), ports_(s.ports.size()) {}

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
    void readFrom(size_t i, bool events, const std::string& bytes);
    void eventLine(size_t i, const std::string& line);
    void errorLine(size_t i, const std::string& line);
    void publish(const Json& event, const std::string* asReceived = nullptr);
    void forward(int signal);
    void startSender();
    void readSender(const std::string& bytes);
    void stopSender();
    void redraw(bool force);
    void clearBoard();
    // Adds the journal's runs to the database (busyMs: how long a busy one is waited for), and
    // says what still waits when that changed.
    void replayJournal(int busyMs);
    void journalChanged(const std::string& error);

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
};

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
    if (unrecorded_ == 0) dwl_SignalChild(sender_, kSenderNudge);
}

void Station::startSender() {
    if (s_.resultsServer.empty()) return;
    std::string why;
    if (startResultsSender(s_.start.results, s_.resultsServer, &sender_, &why))
        senderEvents_ = sender_.out;
    else
        fprintf(stderr, "dwl: the runs stay in %s: %s\n", s_.start.results.c_str(), why.c_str());
}

void Station::readSender(const std::string& bytes) {
    if (bytes.empty()) {
        dwl_CloseChildPipes(&sender_);
        senderEvents_ = -1;
        return;
    }
    senderPartial_.append(bytes);
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
    dwl_SignalChild(sender_, kStationTerminate);
    // The sender bounds its last attempt; a sender stuck all the same is ended.
    const double deadline = dwl_MonotonicSeconds() + kSenderStopSeconds;
    while (senderEvents_ >= 0) {
        const double left = deadline - dwl_MonotonicSeconds();
        const std::vector<PipeBytes> got =
            left > 0 ? signals_.wait({senderEvents_}, left) : std::vector<PipeBytes>();
        if (got.empty() && dwl_MonotonicSeconds() >= deadline) {
            dwl_SignalChild(sender_, kStationKill);
            dwl_CloseChildPipes(&sender_);
            senderEvents_ = -1;
            break;
        }
        for (const PipeBytes& b : got)
            readSender(b.bytes);
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
    std::vector<std::string> lines = board_.lines(now, StationSignals::consoleWidth());
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
    if (name == "run_started") ports_[i].inRun = true;
    publish(event, &line);
    // A run refused by the database waits in the journal; a run recorded took the journal's
    // runs along.
    if (name == "run_ended" && (!event.value("recorded", true) || unrecorded_ > 0))
        journalChanged(event.value("record_error", std::string()));
    if (name == "run_ended") {
        ports_[i].inRun = false;
        runsEnded_++;
        // The run is in the local file: the sender tries the server now.
        dwl_SignalChild(sender_, kSenderNudge);
        publish(board_.totals(dwl_MonotonicSeconds()));
    }
}

void Station::readFrom(size_t i, bool events, const std::string& bytes) {
    PortProcess& p = ports_[i];
    int& fd = events ? p.events : p.errors;
    std::string& partial = events ? p.eventsPartial : p.errorsPartial;
    if (bytes.empty()) {
        // Closed with the other one as the process ends.
        fd = -1;
        if (p.events < 0 && p.errors < 0) ended(i);
        return;
    }
    partial.append(bytes);
    size_t startAt = 0;
    for (size_t nl; (nl = partial.find('\n', startAt)) != std::string::npos; startAt = nl + 1) {
        std::string line = partial.substr(startAt, nl - startAt);
        // A Windows port process writes its lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
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
    options.in = kChildNull;
    options.out = kChildPipe;
    options.err = kChildPipe;
    // Its own process group: Ctrl-C reaches the station alone, which passes each one on.
    options.ownGroup = true;
    // A station that dies takes its ports along: their runs are cancelled.
    options.parentDeathSignal = kStationTerminate;
    options.orphanStatus = kExitInternal;
    for (const PortProcess& other : ports_)
        for (int fd : {other.child.in, other.child.out, other.child.err})
            if (fd >= 0) options.closeInChild.push_back(fd);
    if (senderEvents_ >= 0) options.closeInChild.push_back(senderEvents_);
    const bool started = signals_.startPort(
        i, [&] { return runStationPort(s_.ports[i], stdout); }, options, &p.child);
    if (!started) {
        p.finished = true;
        board_.portStopped(i, std::string(p.child.pipeFailed ? "cannot make a pipe: "
                                                             : "cannot start its process: ") +
                                  strerror(p.child.error));
        return;
    }
    p.events = p.child.out;
    p.errors = p.child.err;
    p.restartAt = -1.0;
    // A port process started while the station stops has a stop to catch up with.
    if (interruptsForwarded_ > 0) dwl_SignalChild(p.child, kStationInterrupt);
    if (interruptsForwarded_ > 1 || cancelForwarded_) dwl_SignalChild(p.child, kStationTerminate);
}

void Station::ended(size_t i) {
    PortProcess& p = ports_[i];
    int raw = 0;
    dwl_CloseChildPipes(&p.child);
    dwl_WaitChild(&p.child, -1, &raw);
    const bool wasInRun = p.inRun;
    p.inRun = false;
    // A port whose record was lost says so at the end, however the station stops.
    if (dwl_ChildExitedWith(raw, kExitRecordLost)) p.recordLost = true;
    if (stopping_) {
        p.finished = true;
        board_.portStopped(i, "the station stops");
        dirty_ = true;
        return;
    }
    const int endSignal = dwl_ChildEndSignal(raw);
    if (endSignal == 0 && !dwl_ChildExitedWith(raw, 0)) {
        // Its settings cannot run (the reason is on its standard error).
        p.finished = true;
        p.status = dwl_ChildExitStatus(raw, kExitInternal);
        board_.portStopped(i, "exit " + std::to_string(p.status));
        dirty_ = true;
        return;
    }
    std::string why = endSignal != 0
                          ? "the port's process was ended by signal " + std::to_string(endSignal)
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
    for (size_t i = 0; i < ports_.size(); i++)
        start(i);
    for (;;) {
        // The stops received, each passed on once.
        const int interrupts = StationSignals::interrupts();
        const bool demoDone = s_.stopAfterRuns > 0 && runsEnded_ >= s_.stopAfterRuns;
        if ((interrupts > 0 || demoDone) && interruptsForwarded_ == 0) {
            stopping_ = true;
            interruptsForwarded_ = 1;
            forward(kStationInterrupt);
            publish(stoppingEvent(false));
        }
        if (interrupts >= 2 && interruptsForwarded_ == 1) {
            // Another signal than the first: two of the same could reach a port process that
            // has not run in between as one.
            interruptsForwarded_ = 2;
            forward(kStationTerminate);
            publish(stoppingEvent(true));
        }
        if (StationSignals::terminated() && !cancelForwarded_) {
            stopping_ = true;
            cancelForwarded_ = true;
            forward(kStationTerminate);
            if (interruptsForwarded_ < 2) publish(stoppingEvent(true));
        }
        const double now = dwl_MonotonicSeconds();
        std::vector<int> fds;
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
                fds.push_back(fd);
                owners.emplace_back(i, events);
            }
            alive = alive || p.child.pid > 0 || p.restartAt >= 0;
        }
        if (!alive) break;
        if (retryJournalAt_ >= 0 && now >= retryJournalAt_) replayJournal(kJournalRetryBusyMs);
        if (retryJournalAt_ >= 0)
            wake = wake < 0 ? retryJournalAt_ : std::min(wake, retryJournalAt_);
        if (senderEvents_ >= 0) {
            fds.push_back(senderEvents_);
            owners.emplace_back(ports_.size(), true);
        }
        if (terminal_ && dirty_) {
            const double due = lastDraw_ + kRedrawInterval;
            wake = wake < 0 ? due : std::min(wake, due);
        }
        const std::vector<PipeBytes> got =
            signals_.wait(fds, wake >= 0 ? std::max(0.0, wake - now) : -1.0);
        for (const PipeBytes& b : got) {
            const size_t k =
                static_cast<size_t>(std::find(fds.begin(), fds.end(), b.fd) - fds.begin());
            if (k >= fds.size()) continue;
            if (owners[k].first == ports_.size())
                readSender(b.bytes);
            else
                readFrom(owners[k].first, owners[k].second, b.bytes);
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
    // A port's process started again (Windows) serves its port.
    if (const int port = StationSignals::portOfThisProcess(); port >= 0)
        return static_cast<size_t>(port) < settings.ports.size()
                   ? runStationPort(settings.ports[static_cast<size_t>(port)], stdout)
                   : kExitInternal;
    const StationSignals signals;
    Station station(settings, signals);
    return station.run();
}

} // namespace dwlcli

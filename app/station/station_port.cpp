#include "app/station/station_port.h"

#include "app/results/results_journal.h"
#include "app/results/run_id.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"
#include "app/run/json_text.h"
#include "app/run/operator_session.h"
#include "app/run/run_log.h"
#include "app/station/device_watch.h"
#include "app/station/port_stop_signals.h"

#include "link/rs232_cancel.h"
#include "link/wire_clock.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace dwlcli {

namespace {

// The boot's result when no boot loader answered: no handset yet.
constexpr int kFamilyBoot = 6;
constexpr int kCodeNoAnswer = 4;
// A port that cannot be opened is tried again after this long (seconds).
constexpr double kRetryOpenSeconds = 5.0;
// A lost device is looked for again at least this often (seconds), besides the folder's events.
constexpr double kLookAgainSeconds = 2.0;
// Progress lines of a port come at most this often (seconds).
constexpr double kProgressInterval = 1.0;

class PortLoop {
  public:
    PortLoop(const StationPortSettings& s, FILE* events)
        : s_(s), events_(events), session_(s.run, &log_, devNull()) {}
    ~PortLoop() {
        if (null_ != nullptr) fclose(null_);
    }

    int run();

  private:
    FILE* devNull() {
        null_ = fopen("/dev/null", "w");
        return null_ != nullptr ? null_ : stderr;
    }
    void emit(const Json& event) {
        fprintf(events_, "%s\n", jsonText(event).c_str());
        fflush(events_);
    }
    void imageStep(const ImageStepEvent& e);
    void progress(bool force);
    void endRun(const RunReport& report);
    // Records the run, and the runs that neither the database nor its journal took before.
    RecordOutcome record(const RunRecord& run);
    // Waits until the port's device is there again; false when a stop came first.
    bool waitForDevice(const std::string& why);
    void lost(const std::string& why);
    void back();
    // Says once, on standard error, that the log lost lines; true when it has.
    bool logLost();
    // Takes the scans that came (never waits): the last is the next handset's unit.
    void takeScans();
    // Sleeps until a scan comes; false when a stop came first.
    bool waitForScan();
    // The waiting event, with the next handset's unit.
    void waiting() {
        takeScans();
        emit(waitingEvent(s_.label, nextUnit_, s_.requireUnit));
    }

    const StationPortSettings& s_;
    FILE* events_;
    FILE* null_ = nullptr;
    RunLog log_;
    OperatorSession session_;
    ResultsDb db_;
    bool dbOpen_ = false;
    bool logLostSaid_ = false;
    // Runs that neither the database nor its journal took (a full disk): tried again later.
    std::vector<RunRecord> unrecorded_;
    bool lost_ = false;
    // The units' scans: the next handset's, and the run's in progress.
    std::string scanPartial_;
    bool scansEnded_ = false;
    std::string nextUnit_, runUnit_;

    // The run in progress.
    bool awake_ = false;
    std::string runId_;
    double awakeEpoch_ = 0.0, awakeSteady_ = 0.0;
    RunProgress progress_;
    double imageStart_ = 0.0;
    double lastProgress_ = -1e9;
};

void PortLoop::imageStep(const ImageStepEvent& e) {
    const double now = dwl_MonotonicSeconds();
    switch (e.Phase) {
    case IMAGE_STEP_AWAKE:
        // A handset answered: the run begins, with the lines logged since Start.
        awake_ = true;
        PortStopSignals::runBegins();
        back();
        runId_ = newRunId();
        awakeEpoch_ = steadyEpochNow();
        awakeSteady_ = now;
        progress_ = RunProgress{};
        lastProgress_ = -1e9;
        // The unit scanned before the handset answered is this run's; one scanned from now on
        // waits for the next run.
        takeScans();
        runUnit_.swap(nextUnit_);
        nextUnit_.clear();
        log_.release(true);
        emit(runStartedEvent(s_.label, runId_, runUnit_));
        progress(true);
        return;
    case IMAGE_STEP_BEGIN:
        progress_.writing = true;
        progress_.image = e.Image;
        progress_.bytesDone = 0;
        progress_.bytesTotal = e.Total;
        imageStart_ = now;
        break;
    case IMAGE_STEP_BYTES:
    case IMAGE_STEP_END: progress_.bytesDone = e.Done; break;
    default: return;
    }
    progress(false);
}

void PortLoop::progress(bool force) {
    const double now = dwl_MonotonicSeconds();
    if (!awake_ || (!force && now - lastProgress_ < kProgressInterval)) return;
    lastProgress_ = now;
    const double seconds = now - imageStart_;
    progress_.bytesPerSecond =
        progress_.writing && seconds > 0 ? static_cast<double>(progress_.bytesDone) / seconds : 0;
    progress_.etaSeconds = progress_.bytesPerSecond > 0
                               ? static_cast<double>(progress_.bytesTotal - progress_.bytesDone) /
                                     progress_.bytesPerSecond
                               : -1.0;
    emit(progressEvent(s_.label, runId_, progress_));
}

RecordOutcome PortLoop::record(const RunRecord& run) {
    std::vector<RunRecord> runs;
    runs.swap(unrecorded_);
    runs.push_back(run);
    RecordOutcome last;
    for (const RunRecord& r : runs) {
        last = recordRun(&db_, &dbOpen_, s_.resultsFile, r);
        if (!last.recorded) dbOpen_ = false; // opened anew next time: the file may be mended
        if (!last.recorded && !last.journaled) unrecorded_.push_back(r);
    }
    return last;
}

void PortLoop::endRun(const RunReport& report) {
    const double duration = dwl_MonotonicSeconds() - awakeSteady_;
    RunRecord run = makeRunRecord(report, awakeEpoch_, steadyEpochNow(), duration, s_.station);
    run.runId = runId_;
    run.unitId = runUnit_;
    runUnit_.clear();
    run.report.port = s_.label.port;
    run.report.device = s_.label.device;
    // The run is the handset's, from its answer on: not the wait for it since Start.
    run.report.elapsedSeconds = duration;
    for (const std::string& line : resentSectorLines(run.report))
        log_.line(line);
    log_.line(logResultLine(run.report));
    if (run.cancelled) log_.line("the run was cancelled; the flash may be partly written");
    logLost();
    const RecordOutcome outcome = record(run);
    emit(runEndedEvent(s_.label, run, outcome.recorded, outcome.why,
                       outcome.journaled ? journalPath(s_.resultsFile) : ""));
    awake_ = false;
    PortStopSignals::runEnds();
}

void PortLoop::takeScans() {
    if (!s_.unitScans || scansEnded_) return;
    char buffer[1024];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            scanPartial_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) scansEnded_ = true;
        break;
    }
    size_t at = 0;
    for (size_t nl; (nl = scanPartial_.find('\n', at)) != std::string::npos; at = nl + 1)
        if (nl > at) nextUnit_ = scanPartial_.substr(at, nl - at);
    scanPartial_.erase(0, at);
}

bool PortLoop::waitForScan() {
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, signal);
    for (takeScans(); nextUnit_.empty(); takeScans()) {
        // The stop signals wait while the stop is looked at, and come in only inside the sleep:
        // one that comes in between cannot be slept through.
        sigprocmask(SIG_BLOCK, &stops, &before);
        if (PortStopSignals::stopRequested()) {
            sigprocmask(SIG_SETMASK, &before, nullptr);
            return false;
        }
        // No more scans will come (the station's end of the pipe closed): only a stop ends it.
        pollfd p{STDIN_FILENO, POLLIN, 0};
        ppoll(&p, scansEnded_ ? 0 : 1, nullptr, &before);
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    return true;
}

bool PortLoop::logLost() {
    const int error = log_.error();
    if (error == 0) return false;
    if (!logLostSaid_)
        fprintf(stderr, "dwl: the log %s is incomplete: %s\n", log_.path().c_str(),
                strerror(error));
    fflush(stderr);
    logLostSaid_ = true;
    return true;
}

void PortLoop::lost(const std::string& why) {
    if (!lost_) emit(portLostEvent(s_.label, why));
    lost_ = true;
}

void PortLoop::back() {
    if (!lost_) return;
    lost_ = false;
    emit(portBackEvent(s_.label));
}

bool PortLoop::waitForDevice(const std::string& why) {
    lost(why);
    while (!PortStopSignals::stopRequested()) {
        if (deviceMissing(s_.label.device).empty()) {
            back();
            waiting();
            return true;
        }
        waitForDeviceChange(s_.label.device, kLookAgainSeconds);
    }
    return false;
}

int PortLoop::run() {
    if (!s_.logFile.empty() && !log_.open(s_.logFile, true)) {
        fprintf(stderr, "dwl: cannot write %s: %s\n", s_.logFile.c_str(), strerror(errno));
        return kExitNoInput;
    }
    std::string why;
    dbOpen_ = db_.openForWriting(s_.resultsFile, &why);
    if (int rc = session_.prepare(true); rc != 0) return rc;
    session_.observeImageSteps([this](const ImageStepEvent& e) { imageStep(e); });
    if (s_.unitScans) fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    waiting();
    while (!PortStopSignals::stopRequested()) {
        const std::string missing = deviceMissing(s_.label.device);
        if (!missing.empty()) {
            if (!waitForDevice(missing)) break;
            continue;
        }
        // No handset before its unit's scan: the operator's time, not the run's.
        if (s_.requireUnit && nextUnit_.empty()) {
            if (!waitForScan()) break;
            emit(waitingEvent(s_.label, nextUnit_, true));
        }
        // Until a handset answers, the lines of the wait are not the log's.
        log_.hold();
        session_.flash();
        const RunReport& report = session_.report();
        const bool ran = awake_;
        if (ran) {
            endRun(report);
        } else {
            log_.release(false);
            const ReadResult& r = report.result;
            const bool noHandset = r.family == kFamilyBoot && r.hasCode && r.code == kCodeNoAnswer;
            if (!noHandset && !rs232_Cancelled()) {
                // The port did not open, or failed before any handset answered.
                session_.clearForNextRun();
                lost(r.message);
                poll(nullptr, 0, static_cast<int>(kRetryOpenSeconds * 1000));
                continue;
            }
        }
        session_.clearForNextRun();
        if (PortStopSignals::stopRequested()) break;
        const std::string gone = deviceMissing(s_.label.device);
        if (!gone.empty()) {
            lost(gone);
            continue;
        }
        if (lost_) {
            back();
            waiting();
        } else if (ran) {
            waiting();
        }
    }
    // A last try for the runs that could not be kept on disk at all.
    std::vector<RunRecord> left;
    left.swap(unrecorded_);
    for (const RunRecord& r : left)
        record(r);
    log_.close();
    const bool logIncomplete = logLost();
    if (unrecorded_.empty()) return logIncomplete ? kExitRecordLost : 0;
    fprintf(stderr, "dwl: %zu finished run%s could not be recorded in %s nor in %s\n",
            unrecorded_.size(), unrecorded_.size() == 1 ? "" : "s", s_.resultsFile.c_str(),
            journalPath(s_.resultsFile).c_str());
    return kExitRecordLost;
}

} // namespace

int runStationPort(const StationPortSettings& settings, FILE* events) {
    const PortStopSignals signals;
    PortLoop loop(settings, events);
    return loop.run();
}

} // namespace dwlcli

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

#include <chrono>
#include <cstring>

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
        null_ = fopen(kNullDevice, "w");
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
        log_.release(true);
        emit(runStartedEvent(s_.label, runId_));
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
            emit(waitingEvent(s_.label));
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
    emit(waitingEvent(s_.label));
    while (!PortStopSignals::stopRequested()) {
        const std::string missing = deviceMissing(s_.label.device);
        if (!missing.empty()) {
            if (!waitForDevice(missing)) break;
            continue;
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
                pauseUnlessStopped(kRetryOpenSeconds);
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
            emit(waitingEvent(s_.label));
        } else if (ran) {
            emit(waitingEvent(s_.label));
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

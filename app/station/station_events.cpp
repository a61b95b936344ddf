#include "app/station/station_events.h"

#include "app/options/station_event_keys.h"
#include "app/results/utc_time.h"

#include <cmath>

namespace dwlcli {

namespace {

const char* const a_ImageNames[] = {"binary", "ogm", "tfs"};

namespace k = stationkeys;

Json event(const char* name) {
    Json j;
    j[k::kEvent] = name;
    j[k::kTime] = utcNow();
    return j;
}

Json portEvent(const char* name, const PortLabel& port) {
    Json j = event(name);
    j[k::kPort] = port.port;
    j[k::kDevice] = port.device;
    return j;
}

// To the millisecond, or null.
Json seconds(double value) {
    if (!std::isfinite(value) || value < 0) return nullptr;
    return std::round(value * 1000.0) / 1000.0;
}

Json orNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

} // namespace

Json waitingEvent(const PortLabel& port, const std::string& unit, bool unitRequired) {
    Json j = portEvent(k::kWaiting, port);
    j[k::kUnit] = orNull(unit);
    j[k::kUnitRequired] = unitRequired;
    return j;
}

Json runStartedEvent(const PortLabel& port, const std::string& runId, const std::string& unit) {
    Json j = portEvent(k::kRunStarted, port);
    j[k::kRunId] = runId;
    j[k::kUnit] = orNull(unit);
    return j;
}

Json progressEvent(const PortLabel& port, const std::string& runId, const RunProgress& p) {
    Json j = portEvent(k::kProgress, port);
    j[k::kRunId] = runId;
    j[k::kStage] = p.writing ? k::kStageWriting : k::kStageBooting;
    j[k::kImage] =
        p.writing && p.image >= 0 && p.image < 3 ? Json(a_ImageNames[p.image]) : Json(nullptr);
    j[k::kBytesDone] = p.bytesDone;
    j[k::kBytesTotal] = p.bytesTotal;
    j[k::kPercent] = p.bytesTotal > 0 ? static_cast<int>(p.bytesDone * 100 / p.bytesTotal) : 0;
    j[k::kBytesPerSecond] = std::lround(p.bytesPerSecond);
    j[k::kEtaSeconds] = p.etaSeconds >= 0 ? Json(std::lround(p.etaSeconds)) : Json(nullptr);
    return j;
}

Json runEndedEvent(const PortLabel& port, const RunRecord& run, bool recorded,
                   const std::string& recordError, const std::string& waitingIn) {
    Json j = portEvent(k::kRunEnded, port);
    j[k::kRunId] = run.runId;
    j[k::kUnit] = orNull(run.unitId);
    j[k::kPassed] = runPassed(run);
    j[k::kCancelled] = run.cancelled;
    j[k::kDurationSeconds] = seconds(run.durationSeconds);
    j[k::kStartedAt] = run.startedAt;
    j[k::kResult] = jsonReport(run.report);
    j[k::kRecorded] = recorded;
    if (!recorded) j[k::kRecordError] = recordError;
    if (!recorded) j[k::kWaitingIn] = waitingIn.empty() ? Json(nullptr) : Json(waitingIn);
    return j;
}

Json unrecordedEvent(long long waiting, const std::string& journal, const std::string& error) {
    Json j = event(k::kUnrecorded);
    j[k::kWaitingRuns] = waiting;
    j[k::kJournal] = journal;
    j[k::kError] = error.empty() ? Json(nullptr) : Json(error);
    return j;
}

Json portLostEvent(const PortLabel& port, const std::string& reason) {
    Json j = portEvent(k::kPortLost, port);
    j[k::kReason] = reason;
    return j;
}

Json portBackEvent(const PortLabel& port) {
    return portEvent(k::kPortBack, port);
}

Json unitScannedEvent(const PortLabel& port, const std::string& unit, bool held,
                      const std::string& replaces) {
    Json j = portEvent(k::kUnitScanned, port);
    j[k::kUnit] = unit;
    j[k::kHeld] = held;
    j[k::kReplaces] = orNull(replaces);
    return j;
}

Json unitRefusedEvent(const std::string& scan, const std::string& port, const std::string& reason) {
    Json j = event(k::kUnitRefused);
    j[k::kScan] = scan;
    j[k::kPort] = orNull(port);
    j[k::kReason] = reason;
    return j;
}

Json stationStartedEvent(const StationStart& s) {
    Json j = event(k::kStationStarted);
    j[k::kStation] = s.station;
    j[k::kPorts] = s.ports;
    j[k::kMode] = s.mode;
    j[k::kBaud] = s.baud;
    j[k::kImages] = Json::array();
    for (const ImageReport& im : s.images)
        j[k::kImages].push_back({{k::kKind, im.kind},
                                 {k::kPath, im.path},
                                 {k::kSize, im.size},
                                 {k::kByteSum, im.byteSum}});
    j[k::kResults] = s.results;
    return j;
}

Json totalsEvent(int pass, int fail, double median, double perHour) {
    Json j = event(k::kTotals);
    j[k::kPass] = pass;
    j[k::kFail] = fail;
    j[k::kYieldPercent] = pass + fail > 0 ? std::round(pass * 1000.0 / (pass + fail)) / 10.0 : 0.0;
    j[k::kMedianSeconds] = seconds(median);
    j[k::kPerHour] = perHour >= 0 ? Json(std::round(perHour * 10.0) / 10.0) : Json(nullptr);
    return j;
}

Json stoppingEvent(bool cancel) {
    Json j = event(k::kStopping);
    j[k::kCancel] = cancel;
    return j;
}

Json stationStoppedEvent(const char* reason) {
    Json j = event(k::kStationStopped);
    j[k::kReason] = reason;
    return j;
}

} // namespace dwlcli

#include "app/cli/station_events.h"

#include "app/cli/utc_time.h"

#include <cmath>

namespace dwlcli {

namespace {

const char* const a_ImageNames[] = {"binary", "ogm", "tfs"};

Json event(const char* name) {
    Json j;
    j["event"] = name;
    j["time"] = utcNow();
    return j;
}

Json portEvent(const char* name, const PortLabel& port) {
    Json j = event(name);
    j["port"] = port.port;
    j["device"] = port.device;
    return j;
}

// To the millisecond, or null.
Json seconds(double value) {
    if (!std::isfinite(value) || value < 0) return nullptr;
    return std::round(value * 1000.0) / 1000.0;
}

} // namespace

Json waitingEvent(const PortLabel& port) {
    return portEvent("waiting", port);
}

Json runStartedEvent(const PortLabel& port, const std::string& runId) {
    Json j = portEvent("run_started", port);
    j["run_id"] = runId;
    return j;
}

Json progressEvent(const PortLabel& port, const std::string& runId, const RunProgress& p) {
    Json j = portEvent("progress", port);
    j["run_id"] = runId;
    j["stage"] = p.writing ? "writing" : "booting";
    j["image"] =
        p.writing && p.image >= 0 && p.image < 3 ? Json(a_ImageNames[p.image]) : Json(nullptr);
    j["bytes_done"] = p.bytesDone;
    j["bytes_total"] = p.bytesTotal;
    j["percent"] = p.bytesTotal > 0 ? static_cast<int>(p.bytesDone * 100 / p.bytesTotal) : 0;
    j["bytes_per_second"] = std::lround(p.bytesPerSecond);
    j["eta_seconds"] = p.etaSeconds >= 0 ? Json(std::lround(p.etaSeconds)) : Json(nullptr);
    return j;
}

Json runEndedEvent(const PortLabel& port, const RunRecord& run, bool recorded,
                   const std::string& recordError, const std::string& waitingIn) {
    Json j = portEvent("run_ended", port);
    j["run_id"] = run.runId;
    j["passed"] = runPassed(run);
    j["cancelled"] = run.cancelled;
    j["duration_s"] = seconds(run.durationSeconds);
    j["started_at"] = run.startedAt;
    j["result"] = jsonReport(run.report);
    j["recorded"] = recorded;
    if (!recorded) j["record_error"] = recordError;
    if (!recorded) j["waiting_in"] = waitingIn.empty() ? Json(nullptr) : Json(waitingIn);
    return j;
}

Json unrecordedEvent(long long waiting, const std::string& journal, const std::string& error) {
    Json j = event("unrecorded");
    j["waiting"] = waiting;
    j["journal"] = journal;
    j["error"] = error.empty() ? Json(nullptr) : Json(error);
    return j;
}

Json portLostEvent(const PortLabel& port, const std::string& reason) {
    Json j = portEvent("port_lost", port);
    j["reason"] = reason;
    return j;
}

Json portBackEvent(const PortLabel& port) {
    return portEvent("port_back", port);
}

Json stationStartedEvent(const StationStart& s) {
    Json j = event("station_started");
    j["station"] = s.station;
    j["ports"] = s.ports;
    j["mode"] = s.mode;
    j["baud"] = s.baud;
    j["images"] = Json::array();
    for (const ImageReport& im : s.images)
        j["images"].push_back(
            {{"kind", im.kind}, {"path", im.path}, {"size", im.size}, {"byte_sum", im.byteSum}});
    j["results"] = s.results;
    return j;
}

Json totalsEvent(int pass, int fail, double median, double perHour) {
    Json j = event("totals");
    j["pass"] = pass;
    j["fail"] = fail;
    j["yield_percent"] = pass + fail > 0 ? std::round(pass * 1000.0 / (pass + fail)) / 10.0 : 0.0;
    j["median_s"] = seconds(median);
    j["per_hour"] = perHour >= 0 ? Json(std::round(perHour * 10.0) / 10.0) : Json(nullptr);
    return j;
}

Json stoppingEvent(bool cancel) {
    Json j = event("stopping");
    j["cancel"] = cancel;
    return j;
}

Json stationStoppedEvent(const char* reason) {
    Json j = event("station_stopped");
    j["reason"] = reason;
    return j;
}

} // namespace dwlcli

#include "app/station/station_board.h"

#include "app/options/station_event_keys.h"
#include "app/results/run_statistics.h"

#include <cstdio>

namespace dwlcli {

namespace {

namespace k = stationkeys;

std::string text(const Json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double number(const Json& j, const char* key, double otherwise = -1.0) {
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : otherwise;
}

std::string clock(double seconds) {
    if (seconds < 0) return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char t[32];
    snprintf(t, sizeof t, "%02ld:%02ld", s / 60, s % 60);
    return t;
}

std::string fixed(double value, const char* format) {
    char t[48];
    snprintf(t, sizeof t, format, value);
    return t;
}

// "PASS: Download successful", "FAIL: <message> (family F, code C)", "CANCELLED: ...".
std::string verdictOf(const Json& ended) {
    const Json& result = ended.value(k::kResult, Json::object());
    const Json& r = result.value("result", Json::object());
    std::string message = r.value("message", std::string());
    if (ended.value(k::kCancelled, false))
        return "CANCELLED: " + message + "; the flash may be partly written";
    if (ended.value(k::kPassed, false)) return "PASS: " + message;
    if (r.contains("family") && r["family"].is_number()) {
        message += " (family " + std::to_string(r["family"].get<int>());
        if (r.contains("code") && r["code"].is_number())
            message += ", code " + std::to_string(r["code"].get<int>());
        message += ")";
    }
    return "FAIL: " + message;
}

std::string stoppingText(const Json& e) {
    return e.value(k::kCancel, false)
               ? "stopping: the runs in progress are cancelled"
               : "stopping: the runs in progress finish (Ctrl-C again cancels them)";
}

// "NOT RECORDED: 2 runs wait in results.sqlite.unrecorded.jsonl (database is locked)", or
// empty when none wait.
std::string unrecordedText(const Json& e) {
    const long long waiting = e.value(k::kWaitingRuns, 0LL);
    if (waiting <= 0) return "";
    std::string line = "NOT RECORDED: " + std::to_string(waiting) +
                       (waiting == 1 ? " run waits in " : " runs wait in ") + text(e, k::kJournal);
    const std::string error = text(e, k::kError);
    return error.empty() ? line : line + " (" + error + ")";
}

std::string progressText(const Json& p) {
    if (text(p, k::kStage) != k::kStageWriting) return "booting";
    std::string image = text(p, k::kImage);
    if (image.empty()) return "writing";
    return "writing " + image + " " + fixed(number(p, k::kPercent, 0), "%3.0f%%") + " " +
           fixed(number(p, k::kBytesPerSecond, 0), "%.0f B/s") + " ETA " +
           clock(number(p, k::kEtaSeconds));
}

// "unit X: switch the handset on" for a port that has its next unit, "scan the unit" for one
// that waits for it, else "waiting".
std::string waitingText(const Json& e) {
    const std::string unit = text(e, k::kUnit);
    if (!unit.empty()) return "unit " + unit + ": switch the handset on";
    return e.value(k::kUnitRequired, false) ? "scan the unit" : "waiting";
}

std::string scannedText(const Json& e) {
    std::string line = "unit " + text(e, k::kUnit) +
                       (e.value(k::kHeld, false) ? " held for the next run (a run is in progress)"
                                                 : " for the next handset");
    const std::string replaced = text(e, k::kReplaces);
    return replaced.empty() ? line : line + ", instead of " + replaced;
}

} // namespace

StationBoard::StationBoard(const std::vector<PortLabel>& ports, double startedAt)
    : startedAt_(startedAt) {
    for (const PortLabel& label : ports) {
        PortBoard b;
        b.label = label;
        ports_.push_back(b);
    }
}

PortBoard* StationBoard::find(const Json& event) {
    const std::string port = text(event, k::kPort);
    for (PortBoard& b : ports_)
        if (b.label.port == port) return &b;
    return nullptr;
}

void StationBoard::take(const Json& event) {
    const std::string name = text(event, k::kEvent);
    if (name == k::kStopping) stopping_ = stoppingText(event);
    if (name == k::kUnrecorded) unrecorded_ = unrecordedText(event);
    PortBoard* b = find(event);
    if (b == nullptr) return;
    if (name == k::kWaiting) {
        b->activity = waitingText(event);
    } else if (name == k::kPortBack) {
        b->activity = "waiting";
    } else if (name == k::kUnitScanned) {
        if (!event.value(k::kHeld, false) && b->activity.rfind("port lost", 0) != 0)
            b->activity = "unit " + text(event, k::kUnit) + ": switch the handset on";
    } else if (name == k::kRunStarted) {
        b->activity = "booting";
        b->verdict.clear();
    } else if (name == k::kProgress) {
        b->activity = progressText(event);
    } else if (name == k::kRunEnded) {
        b->verdict = verdictOf(event);
        b->activity = "done";
        if (event.value(k::kCancelled, false)) return;
        if (event.value(k::kPassed, false)) {
            b->pass++;
            pass_++;
        } else {
            b->fail++;
            fail_++;
        }
        durations_.push_back(number(event, k::kDurationSeconds, 0.0));
    } else if (name == k::kPortLost) {
        b->activity = "port lost: " + text(event, k::kReason);
    }
}

void StationBoard::portStopped(size_t port, const std::string& why) {
    if (port < ports_.size()) ports_[port].activity = "stopped: " + why;
}

Json StationBoard::totals(double now) const {
    return totalsEvent(pass_, fail_, median(durations_), perHour(pass_ + fail_, now - startedAt_));
}

std::vector<std::string> StationBoard::lines(double now, size_t width) const {
    size_t nameWidth = 4;
    for (const PortBoard& b : ports_)
        nameWidth = std::max(nameWidth, b.label.port.size());
    std::vector<std::string> out;
    for (const PortBoard& b : ports_) {
        // The last run's verdict stays up while the port waits for the next handset.
        std::string state = b.activity;
        if (!b.verdict.empty() && state == "waiting") state = b.verdict + "  (next handset)";
        if (!b.verdict.empty() && state == "done") state = b.verdict;
        if (!b.verdict.empty() && state.rfind("stopped", 0) == 0)
            state = b.verdict + "  (" + state + ")";
        char counts[48];
        snprintf(counts, sizeof counts, "pass %4d fail %4d  ", b.pass, b.fail);
        std::string line =
            b.label.port + std::string(nameWidth - b.label.port.size() + 2, ' ') + counts + state;
        out.push_back(line);
    }
    const Json t = totals(now);
    std::string total = "total: pass " + std::to_string(pass_) + ", fail " + std::to_string(fail_) +
                        ", yield " + fixed(number(t, k::kYieldPercent, 0), "%.1f %%");
    const double mid = number(t, "median_s");
    const double hourly = number(t, "per_hour");
    total += ", median " + (mid >= 0 ? fixed(mid, "%.1f s") : std::string("-"));
    total += ", " + (hourly >= 0 ? fixed(hourly, "%.1f") : std::string("-")) + " handsets/hour";
    if (!stopping_.empty()) total += "; " + stopping_;
    out.push_back(total);
    if (!unrecorded_.empty()) out.push_back(unrecorded_);
    for (std::string& line : out)
        if (width > 0 && line.size() >= width) line.resize(width - 1);
    return out;
}

std::string StationBoard::plainLine(const Json& e) {
    const std::string name = text(e, "event");
    const std::string head = text(e, "time") + " " + text(e, "port") + ": ";
    const std::string unit = text(e, k::kUnit);
    if (name == "waiting") {
        if (!unit.empty()) return head + "waiting for a handset (unit " + unit + ")";
        return head + (e.value(k::kUnitRequired, false) ? "waiting for the unit's scan"
                                                        : "waiting for a handset");
    }
    if (name == k::kRunStarted)
        return head + "run started (" + text(e, "run_id") + ")" +
               (unit.empty() ? "" : " unit " + unit);
    if (name == k::kUnitScanned) return head + scannedText(e);
    if (name == k::kUnitRefused)
        return text(e, "time") + " scan refused: " + text(e, k::kReason) + ": " +
               e.value(k::kScan, Json("")).dump(-1, ' ', true, Json::error_handler_t::replace);
    if (name == k::kRunEnded) {
        std::string line = head + (unit.empty() ? "" : "unit " + unit + ": ") + verdictOf(e) +
                           fixed(number(e, "duration_s", 0), " (%.1f s)");
        if (!e.value("recorded", true)) line += "; NOT RECORDED: " + text(e, "record_error");
        return line;
    }
    if (name == k::kPortLost) return head + "port lost: " + text(e, "reason");
    if (name == "port_back") return head + "port back";
    if (name == "totals") {
        const double mid = number(e, "median_s");
        const double hourly = number(e, "per_hour");
        return text(e, "time") + " totals: pass " + std::to_string(e.value("pass", 0)) + ", fail " +
               std::to_string(e.value("fail", 0)) + ", yield " +
               fixed(number(e, "yield_percent", 0), "%.1f %%") + ", median " +
               (mid >= 0 ? fixed(mid, "%.1f s") : std::string("-")) + ", " +
               (hourly >= 0 ? fixed(hourly, "%.1f") : std::string("-")) + " handsets/hour";
    }
    if (name == "station_started") {
        std::string ports;
        for (const Json& p : e.value("ports", Json::array()))
            ports += (ports.empty() ? "" : " ") + p.get<std::string>();
        return text(e, "time") + " station " + text(e, "station") + " started: ports " + ports +
               ", mode " + std::to_string(e.value("mode", -1)) + ", " +
               std::to_string(e.value("baud", 0L)) + " baud, results in " + text(e, "results");
    }
    if (name == k::kUnrecorded) {
        const std::string said = unrecordedText(e);
        return text(e, "time") + " " + (said.empty() ? "every run is recorded" : said);
    }
    if (name == "station_stopped")
        return text(e, "time") + " station stopped (" + text(e, "reason") + ")";
    return "";
}

} // namespace dwlcli

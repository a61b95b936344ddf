#include "app/results/report_figures.h"

#include "app/results/run_statistics.h"
#include "app/results/utc_time.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace dwlcli {

void RunTally::add(const StoredRun& r) {
    if (r.cancelled)
        cancelled++;
    else if (r.passed)
        pass++;
    else
        fail++;
}

void RunTally::add(const RunTally& t) {
    pass += t.pass;
    fail += t.fail;
    cancelled += t.cancelled;
}

double RunTally::yieldPercent() const {
    return counted() > 0 ? pass * 100.0 / counted() : -1.0;
}

std::string oneLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7f) {
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

namespace {

std::string cause(const StoredRun& r) {
    std::string text = oneLine(r.resultText);
    if (r.family >= 0) {
        text += " (family " + std::to_string(r.family);
        if (r.hasCode) text += ", code " + std::to_string(r.code);
        text += ")";
    } else {
        text += " (exit " + std::to_string(r.exitStatus) + ")";
    }
    return text;
}

} // namespace

ReportFigures reportFigures(const std::vector<StoredRun>& runs) {
    ReportFigures f;
    f.runs = static_cast<int>(runs.size());
    if (runs.empty()) return f;
    f.first = runs.front().startedAt;
    f.last = runs.front().endedAt;
    std::map<std::string, std::map<std::string, RunTally>> byStation;
    std::map<std::string, int> causes;
    std::map<std::string, RunTally> hours;
    f.durations.reserve(runs.size());
    for (const StoredRun& r : runs) {
        f.first = std::min(f.first, r.startedAt);
        f.last = std::max(f.last, r.endedAt);
        byStation[r.station][r.port].add(r);
        f.total.add(r);
        hours[r.startedAt.substr(0, 13)].add(r);
        if (r.cancelled) continue;
        f.durations.push_back(r.durationSeconds);
        if (!r.passed) causes[cause(r)]++;
    }
    for (const auto& [station, ports] : byStation) {
        StationFigures s;
        s.station = station;
        for (const auto& [port, tally] : ports) {
            s.ports.push_back({port, tally});
            s.tally.add(tally);
        }
        f.stations.push_back(std::move(s));
    }
    for (const auto& [text, count] : causes)
        f.causes.push_back({text, count});
    std::stable_sort(
        f.causes.begin(), f.causes.end(),
        [](const CauseFigures& a, const CauseFigures& b) { return a.count > b.count; });
    for (const auto& [hour, tally] : hours)
        f.hours.push_back({hour, tally});

    f.medianSeconds = median(f.durations);
    f.p95Seconds = percentile(f.durations, 95);
    double from = 0, to = 0;
    if (parseTimeOrAge(f.first, 0, &from) && parseTimeOrAge(f.last, 0, &to))
        f.perHour = perHour(static_cast<int>(f.durations.size()), to - from);
    f.units = countUnits(runs);
    return f;
}

} // namespace dwlcli

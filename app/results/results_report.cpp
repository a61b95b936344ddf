#include "app/results/results_report.h"

#include "app/results/run_statistics.h"
#include "app/results/unit_counts.h"
#include "app/results/utc_time.h"

#include <algorithm>
#include <map>

namespace dwlcli {

namespace {

struct Tally {
    int pass = 0;
    int fail = 0;
    int cancelled = 0;
    void add(const StoredRun& r) {
        if (r.cancelled)
            cancelled++;
        else if (r.passed)
            pass++;
        else
            fail++;
    }
};

} // namespace

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

std::string format(const char* f, double v) {
    char t[64];
    snprintf(t, sizeof t, f, v);
    return t;
}

std::string row(const std::string& name, const Tally& t) {
    char counts[96];
    const int counted = t.pass + t.fail;
    const std::string yield =
        counted > 0 ? format("%5.1f %%", t.pass * 100.0 / counted) : "    -  ";
    snprintf(counts, sizeof counts, " %6d %6d %6d %9d  %s\n", counted + t.cancelled, t.pass, t.fail,
             t.cancelled, yield.c_str());
    // A long name widens its own line only; the line always ends.
    std::string line = oneLine(name);
    if (line.size() < 26) line.resize(26, ' ');
    return line + counts;
}

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

// The units' lines of the report.
std::string unitLines(const UnitCounts& u) {
    std::string out = "\nunits (cancelled runs left out): ";
    if (u.units == 0)
        return out + "none named" + (u.runsWithoutUnit > 0 ? " by these runs\n" : "\n");
    out += std::to_string(u.units) +
           ", runs that named none: " + std::to_string(u.runsWithoutUnit) + "\n";
    const auto yield = [&u](const char* name, int count, const char* what) {
        return std::string("  ") + name + format("%5.1f %%", unitPercent(count, u)) + "  (" +
               std::to_string(count) + " passed " + what + ")\n";
    };
    out += yield("first-pass yield ", u.firstPass, "on their first run");
    out += yield("final yield      ", u.finalPass, "on their last run");
    out += "  flashed more than once: " + std::to_string(u.flashedAgain) + "\n";
    return out;
}

} // namespace

std::string resultsReport(const std::string& file, const RunFilter& filter,
                          const std::vector<StoredRun>& runs) {
    std::string out = oneLine(file) + ": " + std::to_string(runs.size()) + " runs";
    if (!filter.since.empty()) out += " started since " + filter.since;
    if (!filter.station.empty()) out += " on station " + oneLine(filter.station);
    if (!filter.port.empty()) out += " on port " + oneLine(filter.port);
    if (runs.empty()) return out + "\n";
    std::string first = runs.front().startedAt, last = runs.front().endedAt;
    for (const StoredRun& r : runs) {
        first = std::min(first, r.startedAt);
        last = std::max(last, r.endedAt);
    }
    out += ", " + first + " to " + last + "\n\n";

    std::map<std::string, std::map<std::string, Tally>> byStation;
    std::map<std::string, Tally> stations;
    Tally total;
    std::map<std::string, int> causes;
    std::vector<double> durations;
    for (const StoredRun& r : runs) {
        byStation[r.station][r.port].add(r);
        stations[r.station].add(r);
        total.add(r);
        if (r.cancelled) continue;
        durations.push_back(r.durationSeconds);
        if (!r.passed) causes[cause(r)]++;
    }
    char head[160];
    snprintf(head, sizeof head, "%-26s %6s %6s %6s %9s  %s\n", "", "runs", "pass", "fail",
             "cancelled", "yield");
    out += head;
    for (const auto& [station, ports] : byStation) {
        out += row("station " + station, stations[station]);
        for (const auto& [port, tally] : ports)
            out += row("  " + port, tally);
    }
    out += row("total", total);

    out += "\nfailure causes:\n";
    std::vector<std::pair<std::string, int>> ranked(causes.begin(), causes.end());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (ranked.empty()) out += "  none\n";
    for (const auto& [text, count] : ranked) {
        char line[64];
        snprintf(line, sizeof line, "%7d  ", count);
        out += line + text + "\n";
    }

    out += "\nrun time (runs not cancelled): ";
    if (durations.empty()) {
        out += "-\n";
    } else {
        out += "median " + format("%.1f s", median(durations)) + ", 95th percentile " +
               format("%.1f s", percentile(durations, 95)) + "\n";
    }
    double from = 0, to = 0;
    const bool span = parseTimeOrAge(first, 0, &from) && parseTimeOrAge(last, 0, &to);
    const double hourly = span ? perHour(static_cast<int>(durations.size()), to - from) : -1.0;
    out += "handsets per hour: " + (hourly >= 0 ? format("%.1f", hourly) : std::string("-")) + "\n";
    out += unitLines(countUnits(runs));
    return out;
}

bool writeCsv(FILE* out, const std::vector<std::vector<std::string>>& table) {
    bool ok = true;
    for (const std::vector<std::string>& row : table) {
        std::string line;
        for (size_t i = 0; i < row.size(); i++) {
            if (i > 0) line += ',';
            const std::string& field = row[i];
            if (field.find_first_of(",\"\r\n") == std::string::npos) {
                line += field;
                continue;
            }
            line += '"';
            for (char c : field) {
                if (c == '"') line += '"';
                line += c;
            }
            line += '"';
        }
        line += "\r\n";
        ok = fputs(line.c_str(), out) >= 0 && ok;
    }
    return ok;
}

} // namespace dwlcli

#include "app/results/results_report.h"

#include "app/results/unit_counts.h"

#include <cstdio>

namespace dwlcli {

namespace {

std::string format(const char* f, double v) {
    char t[64];
    snprintf(t, sizeof t, f, v);
    return t;
}

std::string row(const std::string& name, const RunTally& t) {
    char counts[96];
    const double yieldPercent = t.yieldPercent();
    const std::string yield = yieldPercent >= 0 ? format("%5.1f %%", yieldPercent) : "    -  ";
    snprintf(counts, sizeof counts, " %6d %6d %6d %9d  %s\n", t.runs(), t.pass, t.fail, t.cancelled,
             yield.c_str());
    // A long name widens its own line only; the line always ends.
    std::string line = oneLine(name);
    if (line.size() < 26) line.resize(26, ' ');
    return line + counts;
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
    return resultsReport(file, filter, reportFigures(runs));
}

std::string resultsReport(const std::string& file, const RunFilter& filter,
                          const ReportFigures& f) {
    std::string out = oneLine(file) + ": " + std::to_string(f.runs) + " runs";
    if (!filter.since.empty()) out += " started since " + filter.since;
    if (!filter.station.empty()) out += " on station " + oneLine(filter.station);
    if (!filter.port.empty()) out += " on port " + oneLine(filter.port);
    if (f.runs == 0) return out + "\n";
    out += ", " + f.first + " to " + f.last + "\n\n";

    char head[160];
    snprintf(head, sizeof head, "%-26s %6s %6s %6s %9s  %s\n", "", "runs", "pass", "fail",
             "cancelled", "yield");
    out += head;
    for (const StationFigures& s : f.stations) {
        out += row("station " + s.station, s.tally);
        for (const PortFigures& p : s.ports)
            out += row("  " + p.port, p.tally);
    }
    out += row("total", f.total);

    out += "\nfailure causes:\n";
    if (f.causes.empty()) out += "  none\n";
    for (const CauseFigures& c : f.causes) {
        char line[64];
        snprintf(line, sizeof line, "%7d  ", c.count);
        out += line + c.text + "\n";
    }

    out += "\nrun time (runs not cancelled): ";
    if (f.durations.empty()) {
        out += "-\n";
    } else {
        out += "median " + format("%.1f s", f.medianSeconds) + ", 95th percentile " +
               format("%.1f s", f.p95Seconds) + "\n";
    }
    out += "handsets per hour: " + (f.perHour >= 0 ? format("%.1f", f.perHour) : std::string("-")) +
           "\n";
    out += unitLines(f.units);
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

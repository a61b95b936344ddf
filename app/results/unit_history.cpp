#include "app/results/unit_history.h"

#include "app/results/results_report.h"

#include <algorithm>
#include <cstdio>

namespace dwlcli {

namespace {

const char* const a_ImageKinds[] = {"binary", "ogm", "tfs"};

std::string verdict(const StoredRun& r) {
    return r.cancelled ? "CANCELLED" : r.passed ? "PASS" : "FAIL";
}

} // namespace

std::string unitHistory(const std::string& source, const std::string& unit,
                        const std::vector<StoredRun>& given) {
    std::vector<StoredRun> runs = given;
    std::stable_sort(runs.begin(), runs.end(), [](const StoredRun& a, const StoredRun& b) {
        return a.startedAt != b.startedAt ? a.startedAt < b.startedAt : a.runId < b.runId;
    });
    std::string out = "unit " + oneLine(unit) + " in " + oneLine(source) + ": ";
    if (runs.empty()) return out + "no run\n";
    out += std::to_string(runs.size()) + (runs.size() == 1 ? " run\n" : " runs\n");
    for (size_t i = 0; i < runs.size(); i++) {
        const StoredRun& r = runs[i];
        char head[64];
        snprintf(head, sizeof head, "%3zu. ", i + 1);
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.1f s", r.durationSeconds);
        out += head + r.startedAt + "  " + oneLine(r.station) + " " + oneLine(r.port) + "  " +
               verdict(r) + "  " + seconds + "  " + oneLine(r.resultText);
        if (!r.passed && !r.cancelled && r.family >= 0) {
            out += " (family " + std::to_string(r.family);
            if (r.hasCode) out += ", code " + std::to_string(r.code);
            out += ")";
        }
        out += "\n       run " + r.runId + "\n";
        for (int k = 0; k < 3; k++)
            if (!r.imagePath[k].empty())
                out += std::string("       ") + a_ImageKinds[k] + " " + oneLine(r.imagePath[k]) +
                       "  byte sum " + (r.imageSum[k].empty() ? "-" : r.imageSum[k]) + "\n";
    }
    return out;
}

} // namespace dwlcli

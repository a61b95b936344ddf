#include "app/results/unit_counts.h"

#include <string>
#include <unordered_map>

namespace dwlcli {

namespace {

bool earlier(const StoredRun& a, const StoredRun& b) {
    return a.startedAt != b.startedAt ? a.startedAt < b.startedAt : a.runId < b.runId;
}

} // namespace

UnitCounts countUnits(const std::vector<StoredRun>& runs) {
    struct Unit {
        const StoredRun* first = nullptr;
        const StoredRun* last = nullptr;
        int runs = 0;
    };
    std::unordered_map<std::string, Unit> units;
    UnitCounts out;
    for (const StoredRun& r : runs) {
        if (r.cancelled) continue;
        if (r.unitId.empty()) {
            out.runsWithoutUnit++;
            continue;
        }
        Unit& u = units[r.unitId];
        u.runs++;
        if (u.first == nullptr || earlier(r, *u.first)) u.first = &r;
        if (u.last == nullptr || earlier(*u.last, r)) u.last = &r;
    }
    out.units = static_cast<int>(units.size());
    for (const auto& entry : units) {
        const Unit& u = entry.second;
        if (u.first->passed) out.firstPass++;
        if (u.last->passed) out.finalPass++;
        if (u.runs > 1) out.flashedAgain++;
    }
    return out;
}

double unitPercent(int count, const UnitCounts& counts) {
    return counts.units > 0 ? count * 100.0 / counts.units : -1.0;
}

} // namespace dwlcli

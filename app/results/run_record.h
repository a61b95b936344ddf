// One handset run as the results database keeps it: the run's report and where, when and on
// which station it ran.
#pragma once

#include "app/run/run_report.h"

#include <string>

namespace dwlcli {

struct RunRecord {
    std::string runId;     // a UUID
    std::string startedAt; // UTC, ISO 8601 (utc_time.h)
    std::string endedAt;
    std::string station; // the station's name (--station, else the host name)
    double durationSeconds = 0.0;
    bool cancelled = false;
    std::string traceFile; // the run's line trace, or empty
    // The handset's label as the operator scanned or typed it (unit_scan.h); empty: none.
    std::string unitId;
    RunReport report; // port, device, mode, speed, images, flash, result, sectors
};

// The record of a run that ran from startedAt to endedAt (epoch seconds) and took
// durationSeconds (the handset's virtual time for the emulated handset); a new run id. A run a
// signal stopped counts as cancelled.
RunRecord makeRunRecord(const RunReport& report, double startedAt, double endedAt,
                        double durationSeconds, const std::string& station);

// Passed: the run ended in success and nobody cancelled it.
inline bool runPassed(const RunRecord& r) {
    return r.report.exitStatus == 0 && !r.cancelled;
}

} // namespace dwlcli

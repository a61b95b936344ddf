#include "app/results/run_record.h"

#include "app/results/run_id.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"

namespace dwlcli {

RunRecord makeRunRecord(const RunReport& report, double startedAt, double endedAt,
                        double durationSeconds, const std::string& station) {
    RunRecord r;
    r.runId = newRunId();
    r.startedAt = utcText(startedAt);
    r.endedAt = utcText(endedAt);
    r.station = station;
    r.durationSeconds = durationSeconds;
    r.report = report;
    const int s = report.exitStatus;
    r.cancelled = s == kExitCancelled || s == kExitHangUp || s == kExitTerminated;
    return r;
}

} // namespace dwlcli

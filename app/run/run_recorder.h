// What a run leaves beside its report and log: its record. A build that records runs gives the
// run one (app/results); a run without one only reports.
#pragma once

#include "app/run/run_report.h"

namespace dwlcli {

class RunRecorder {
  public:
    virtual ~RunRecorder() = default;
    // Before the handset is touched: 0, or the exit status with the reason on standard error.
    virtual int open() = 0;
    // The run on the panel starts, and has ended.
    virtual void started() = 0;
    virtual void ended() = 0;
    // Keeps the run's record; false (the reason on standard error) when it is lost.
    virtual bool record(const RunReport& report) = 0;
};

} // namespace dwlcli

#include "app/results/run_recorder_db.h"

#include "app/results/results_db.h"
#include "app/results/results_journal.h"
#include "app/results/results_sender.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"

#include <cstdio>

namespace dwlcli {

namespace {

class ResultsRecorder : public RunRecorder {
  public:
    explicit ResultsRecorder(const RunSettings& settings) : settings_(settings) {}

    int open() override {
        std::string why;
        if (results_.openForWriting(settings_.resultsFile, &why)) return 0;
        fprintf(stderr, "dwl: cannot record runs in %s: %s\n", settings_.resultsFile.c_str(),
                why.c_str());
        return kExitNoInput;
    }
    // The system clock at the start, carried on by the monotonic clock: a clock set back or
    // forward during the run moves neither end.
    void started() override { startedAt_ = steadyEpochNow(); }
    void ended() override { endedAt_ = steadyEpochNow(); }

    bool record(const RunReport& report) override {
        bool kept = true;
        RunRecord record =
            makeRunRecord(report, startedAt_, endedAt_, report.elapsedSeconds, settings_.station);
        record.traceFile = settings_.traceFile;
        record.unitId = settings_.unitId;
        bool open = true;
        const RecordOutcome outcome = recordRun(&results_, &open, settings_.resultsFile, record);
        if (!outcome.recorded) {
            fprintf(stderr, "dwl: the run could not be recorded in %s: %s\n",
                    settings_.resultsFile.c_str(), outcome.why.c_str());
            if (outcome.journaled)
                fprintf(stderr, "dwl: it waits in %s and is added at the next run or start\n",
                        journalPath(settings_.resultsFile).c_str());
            kept = false;
        }
        // The run is safe in the local file: a server that cannot take it now gets it later.
        if (!settings_.resultsServer.empty()) {
            const SenderStatus sent =
                sendWaitingRunsOnce(settings_.resultsFile, settings_.resultsServer);
            if (!sent.error.empty())
                fprintf(stderr, "dwl: %s\ndwl: %lld run%s wait in %s for the results server\n",
                        sent.error.c_str(), sent.waiting, sent.waiting == 1 ? "" : "s",
                        settings_.resultsFile.c_str());
        }
        return kept;
    }

  private:
    const RunSettings& settings_;
    ResultsDb results_;
    double startedAt_ = 0.0, endedAt_ = 0.0;
};

} // namespace

std::unique_ptr<RunRecorder> makeResultsRecorder(const RunSettings& settings) {
    if (settings.resultsFile.empty()) return nullptr; // a server is reached through the file
    return std::make_unique<ResultsRecorder>(settings);
}

} // namespace dwlcli

// A build that records runs (results, station) has this command; others leave it out.
#ifdef DWL_CLI_WITH_RESULTS
// dwl results: what the results database says: yield per port, per station and in all, the
// failure causes ranked, run times, handsets per hour; or the rows as CSV.
#include "app/cli/cli_registry.h"
#include "app/results/results_db.h"
#include "app/results/results_report.h"
#include "app/results/results_server.h"
#include "app/results/results_source.h"
#include "app/results/utc_time.h"
#include "app/run/exit_status.h"

#include <cstdio>
#include <memory>

namespace dwlcli {

namespace {

struct ResultsRequest {
    std::string db = kDefaultResultsFile;
    std::string since, port, station;
    bool csv = false;
};

int runResults(const ResultsRequest& r) {
    RunFilter filter;
    filter.port = r.port;
    filter.station = r.station;
    if (!r.since.empty()) {
        double since = 0;
        if (!parseTimeOrAge(r.since, epochNow(), &since)) {
            fprintf(stderr,
                    "dwl: --since takes a date and time (2026-03-02, 2026-03-02T08:00, with Z or "
                    "+01:00 for a zone, else local time) or an age (90m, 8h, 7d), not \"%s\"\n",
                    r.since.c_str());
            return kExitUsage;
        }
        filter.since = utcText(since);
    }
    if (isServerAddress(r.db) && !serverForwardingInBuild()) {
        fprintf(stderr, "dwl: %s\n", serverForwardingMissing().c_str());
        return kExitUsage;
    }
    // A station's file, or the line's results server (its address shown without a password).
    const std::string source = isServerAddress(r.db) ? serverDisplayName(r.db) : r.db;
    std::string why;
    bool written = false;
    if (r.csv) {
        std::vector<std::vector<std::string>> table;
        if (!readRunTable(r.db, filter, &table, &why)) {
            fprintf(stderr, "dwl: cannot read the results of %s: %s\n", source.c_str(),
                    why.c_str());
            return kExitNoInput;
        }
        written = writeCsv(stdout, table);
    } else {
        std::vector<StoredRun> runs;
        if (!readStoredRuns(r.db, filter, &runs, &why)) {
            fprintf(stderr, "dwl: cannot read the results of %s: %s\n", source.c_str(),
                    why.c_str());
            return kExitNoInput;
        }
        written = fputs(resultsReport(source, filter, runs).c_str(), stdout) >= 0;
    }
    if (fflush(stdout) != 0 || !written) {
        fprintf(stderr, "dwl: the report could not be written\n");
        return kExitRecordLost;
    }
    return 0;
}

} // namespace

void setupResults(CLI::App& dwl, int& exitStatus) {
    CLI::App* c = dwl.add_subcommand(
        "results", "Report on the runs recorded in a results database: yield per port, station "
                   "and in all, failure causes, run times, handsets per hour; or the rows as CSV");
    auto r = std::make_shared<ResultsRequest>();
    c->add_option("--db", r->db,
                  std::string("the SQLite results file (default ") + kDefaultResultsFile +
                      "), or the line's results server as a postgresql://USER@HOST/DB address");
    c->add_option("--since", r->since,
                  "only runs started since TIME: 2026-03-02, 2026-03-02T08:00 (local time, or "
                  "with Z or +01:00), or an age: 90m, 8h, 7d");
    c->add_option("--port", r->port, "only the runs of this port");
    c->add_option("--station", r->station, "only the runs of this station");
    c->add_flag("--csv", r->csv, "write the rows as CSV, with a header line");
    c->callback([r, &exitStatus]() { exitStatus = runResults(*r); });
}

} // namespace dwlcli

#endif // DWL_CLI_WITH_RESULTS

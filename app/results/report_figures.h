// The figures of a results report, worked out once from the stored runs: the text report of
// dwl results and its HTML page both show these, so that the two always agree.
#pragma once

#include "app/results/results_columns.h"
#include "app/results/unit_counts.h"

#include <string>
#include <vector>

namespace dwlcli {

// Runs by outcome. A cancelled run counts in none of the yields.
struct RunTally {
    int pass = 0;
    int fail = 0;
    int cancelled = 0;
    void add(const StoredRun& r);
    void add(const RunTally& t);
    int runs() const { return pass + fail + cancelled; }
    int counted() const { return pass + fail; }
    // Passes over the runs not cancelled, in per cent; -1 when there is no such run.
    double yieldPercent() const;
};

struct PortFigures {
    std::string port;
    RunTally tally;
};

struct StationFigures {
    std::string station;
    RunTally tally;
    std::vector<PortFigures> ports; // by name
};

struct CauseFigures {
    std::string text; // one line: "The mobile does not answer (family 6, code 4)"
    int count = 0;
};

// The runs that started within one hour (UTC).
struct HourFigures {
    std::string hour; // "2026-03-02T08"
    RunTally tally;
};

struct ReportFigures {
    int runs = 0;
    std::string first, last;              // the first start and the last end (UTC text)
    std::vector<StationFigures> stations; // by name
    RunTally total;
    std::vector<CauseFigures> causes; // the most frequent first; equal counts by text
    std::vector<double> durations;    // of the runs not cancelled, in the order they started
    double medianSeconds = -1;        // of those durations; -1 without any
    double p95Seconds = -1;
    double perHour = -1; // runs not cancelled per hour from the first start to the last end
    std::vector<HourFigures> hours; // the hours that had a run, in order
    UnitCounts units;
};

ReportFigures reportFigures(const std::vector<StoredRun>& runs);

// A name or message on one line: control characters (a newline in a station's name) shown as
// escapes (\n, \x01).
std::string oneLine(const std::string& text);

} // namespace dwlcli

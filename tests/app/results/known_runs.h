// One known results database for the reports' tests: twelve runs of two stations over two
// hours, of six units and of none, with the numbers every report of them must give.
//
//   unit    runs in order (station port: result)
//   U-001   line-1 COM1 pass
//   U-002   line-1 COM2 fail (no answer), line-2 COM1 pass
//   U-003   line-1 COM1 fail (bad acknowledge), line-1 COM2 fail (no answer)
//   U-004   line-1 COM1 pass, line-1 COM2 fail (no answer)
//   U-005   line-2 COM1 cancelled, line-2 COM1 pass
//   U-006   line-1 COM2 cancelled
//   none    line-2 COM1 pass, line-1 COM1 fail (bad acknowledge)
//
// The runs are written out of their order; their run ids do not follow it either.
#pragma once

#include "app/results/run_record.h"

#include <string>
#include <vector>

namespace knownruns {

// The runs, in the order they are written.
std::vector<dwlcli::RunRecord> runs();
// Writes them into a new SQLite results file; false, with the reason in *why.
bool write(const std::string& file, std::string* why);

// Makes a results file with the first version's table, as the program before made it, and no
// run; false when SQLite refused.
bool createVersionOneFile(const std::string& file);

// The numbers over all of them.
constexpr int kRuns = 12;
constexpr int kCancelled = 2;
constexpr int kPass = 5;
constexpr int kFail = 5;
constexpr int kNoAnswer = 3;       // "The mobile does not answer" (family 6, code 4)
constexpr int kBadAcknowledge = 2; // "Bad command acknowledge" (family 8, code 3)
constexpr double kMedianSeconds = 14.5;
constexpr double kP95Seconds = 40.0;
// Units: U-001 to U-005 (U-006 has only a cancelled run).
constexpr int kUnits = 5;
constexpr int kFirstPass = 3;    // U-001, U-004, U-005
constexpr int kFinalPass = 3;    // U-001, U-002, U-005
constexpr int kFlashedAgain = 3; // U-002, U-003, U-004
constexpr int kRunsWithoutUnit = 2;
// The first run's start and the last run's end (UTC).
inline constexpr char kFirstStart[] = "2027-01-15T08:00:00.000Z";
inline constexpr char kLastEnd[] = "2027-01-15T09:50:40.000Z";

} // namespace knownruns

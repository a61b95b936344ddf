// The units among the runs: a unit is a handset label (unit_id) that at least one run named.
// Runs that named no unit are no unit's; cancelled runs are left out as the yield leaves them
// out (nobody learnt whether the handset would have passed).
#pragma once

#include "app/results/results_columns.h"

#include <vector>

namespace dwlcli {

struct UnitCounts {
    int units = 0;           // units with a run that was not cancelled
    int firstPass = 0;       // units whose first such run passed
    int finalPass = 0;       // units whose last such run passed
    int flashedAgain = 0;    // units with more than one such run
    int runsWithoutUnit = 0; // runs (not cancelled) that named no unit
};

// Counts the units of the runs; first and last go by the start (then run id), whatever the
// order the runs come in.
UnitCounts countUnits(const std::vector<StoredRun>& runs);

// The yield in percent of `count` over the units; -1 when there is no unit.
double unitPercent(int count, const UnitCounts& counts);

} // namespace dwlcli

// dwl results --unit: one unit's runs in the order they started, each with its station, port,
// result and time, and the images it wrote with their byte sums.
#pragma once

#include "app/results/results_columns.h"

#include <string>
#include <vector>

namespace dwlcli {

// The history of `unit` over its runs (read with RunFilter::unit) from `source`.
std::string unitHistory(const std::string& source, const std::string& unit,
                        const std::vector<StoredRun>& runs);

} // namespace dwlcli

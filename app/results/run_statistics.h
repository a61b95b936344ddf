// Figures over run durations, as the station's totals and dwl results give them.
#pragma once

#include <vector>

namespace dwlcli {

// The median (the mean of the two middle values for an even count); -1 for no value.
double median(std::vector<double> values);
// The nearest-rank percentile p (0 < p <= 100): the smallest value with at least p % of the
// values at or below it; -1 for no value.
double percentile(std::vector<double> values, double p);
// Handsets per hour: count runs over `seconds`; -1 when there is no run or no time.
double perHour(int count, double seconds);

} // namespace dwlcli

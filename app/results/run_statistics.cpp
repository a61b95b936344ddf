#include "app/results/run_statistics.h"

#include <algorithm>
#include <cmath>

namespace dwlcli {

double median(std::vector<double> values) {
    if (values.empty()) return -1.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1.0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

double perHour(int count, double seconds) {
    if (count <= 0 || !(seconds > 0)) return -1.0;
    return count * 3600.0 / seconds;
}

} // namespace dwlcli

#include "platform/linux/serial_wire_clock.h"

#include <time.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace dwllinux {

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void WireClock::setLine(long baud, int parity, int dataBits, int stopBits) {
    if (baud <= 0) return;
    const int bits = 1 + dataBits + (parity != 0 ? 1 : 0) + stopBits;
    byteSeconds_ = static_cast<double>(bits) / static_cast<double>(baud);
}

double WireClock::secondsFor(long count) const {
    return static_cast<double>(std::max(count, 0L)) * byteSeconds_;
}

void WireClock::handed(long count, double now) {
    if (count <= 0) return;
    freeAt_ = std::max(freeAt_, now) + secondsFor(count);
}

long WireClock::queued(double now) const {
    if (freeAt_ <= now) return 0;
    // Part of a byte still on the wire counts as the whole byte.
    const double bytes = std::ceil((freeAt_ - now) / byteSeconds_ - 1e-9);
    return static_cast<long>(std::min(bytes, static_cast<double>(INT_MAX)));
}

void WireClock::clear() {
    freeAt_ = 0.0;
}

} // namespace dwllinux

#include "link/wire_clock.h"

#include "session/dwl_clock.h"

#include <cstdlib>

#include <algorithm>
#include <climits>
#include <cmath>

double dwl_MonotonicSeconds() {
    return dwl_Now();
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

bool dwl_WireSpeedMatches(long held, long wanted) {
    constexpr double kSpeedTolerance = 0.03;
    if (held <= 0) return false;
    return std::labs(held - wanted) <=
           static_cast<long>(static_cast<double>(wanted) * kSpeedTolerance);
}

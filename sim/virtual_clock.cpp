#include "sim/handset.h"

namespace sim {

VirtualClock::VirtualClock(double start) : t_(start) {}

double VirtualClock::now() {
    return t_;
}

void VirtualClock::advance(double seconds) {
    if (seconds > 0.0) t_ += seconds;
}

void VirtualClock::advanceTo(double t) {
    if (t > t_) t_ = t;
}

} // namespace sim

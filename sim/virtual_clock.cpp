#include "sim/handset.h"

namespace sim {

VirtualClock::VirtualClock(double start) : start_(start) {}

double VirtualClock::now() {
    return start_ + elapsed_;
}

void VirtualClock::advance(double seconds) {
    if (seconds > 0.0) elapsed_ += seconds;
}

void VirtualClock::advanceTo(double t) {
    advanceElapsedTo(t - start_);
}

void VirtualClock::advanceElapsedTo(double e) {
    if (e > elapsed_) elapsed_ = e;
}

} // namespace sim

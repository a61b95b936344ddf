#include "session/dwl_clock.h"

#include <chrono>

namespace {
ClockSource* installed = nullptr;

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}
} // namespace

void dwl_SetClock(ClockSource* clock) {
    installed = clock;
}
ClockSource* dwl_GetClock() {
    return installed;
}

double dwl_Now() {
    return installed ? installed->now() : systemNow();
}

uint32_t dwl_Time() {
    return static_cast<uint32_t>(dwl_Now());
}

#include "session/dwl_clock.h"

#include <chrono>

namespace {
ClockSource* installed = nullptr;

double systemMonotonic() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double systemCalendar() {
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
    return installed ? installed->now() : systemMonotonic();
}

double dwl_WallNow() {
    return installed ? installed->wallNow() : systemCalendar();
}

uint32_t dwl_Time() {
    return static_cast<uint32_t>(dwl_WallNow());
}

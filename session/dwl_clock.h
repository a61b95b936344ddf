// The clocks of the core. Every time-out, stall check, rate and elapsed time runs on one clock
// that only goes forward (dwl_Now, and dwl_MonotonicSeconds in link/wire_clock.h, which is the
// same clock); the calendar (dwl_Time) serves only the time stamps of a run. A clock set back or
// forward during a run (NTP, an operator, a virtual machine resuming) moves the stamps, never a
// wait. Both read the installed clock when there is one: the emulator installs a virtual clock so
// that protocol time-outs cost no real time, and tests install one they can step.
#pragma once

#include <cstdint>

class ClockSource {
  public:
    virtual ~ClockSource() = default;
    // Seconds, with fractions, of a clock that never goes back; its origin means nothing.
    virtual double now() = 0;
    // Seconds since the epoch, with fractions: the calendar, for time stamps. A virtual clock
    // that keeps no calendar of its own stamps with its own reading.
    virtual double wallNow() { return now(); }
};

// Installs a clock; nullptr puts the system's clocks back.
void dwl_SetClock(ClockSource* clock);
ClockSource* dwl_GetClock();

// Seconds of the clock for durations: the installed one, or the system's monotonic clock.
double dwl_Now();
// Seconds since the epoch with fractions, for time stamps: the installed clock's calendar, or
// the system's.
double dwl_WallNow();
// Whole seconds since the epoch, as time() gives them: the run's start and end stamps.
uint32_t dwl_Time();

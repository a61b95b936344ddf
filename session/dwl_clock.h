// The time source of the protocol code: the sector acknowledgement wait, the run's start and
// end times. Real time by default; the emulator installs a virtual clock so that protocol
// time-outs cost no real time.
#pragma once

#include <cstdint>

class ClockSource {
  public:
    virtual ~ClockSource() = default;
    // Seconds since the epoch, with fractions.
    virtual double now() = 0;
};

// Installs a clock; nullptr puts the system clock back.
void dwl_SetClock(ClockSource* clock);
ClockSource* dwl_GetClock();

// Seconds since the epoch with fractions, from the installed clock.
double dwl_Now();
// Whole seconds since the epoch, as time() gives them.
uint32_t dwl_Time();

// Times as the run records and the station's event lines give them: UTC, ISO 8601, to the
// millisecond ("2026-03-02T08:15:00.250Z"), so that their text sorts as the times do.
#pragma once

#include <string>

namespace dwlcli {

// Seconds since the epoch, on the system's clock.
double epochNow();
// The system's time at the first call in this process (or in the process it was forked from),
// run on from there by the monotonic clock: times taken with it keep their true distances when
// the system clock is set meanwhile (NTP, an operator, a virtual machine resuming). The times
// and durations of recorded runs come from it.
double steadyEpochNow();
// The text of a time in seconds since the epoch.
std::string utcText(double epochSeconds);
// utcText(epochNow()).
std::string utcNow();

// A time as an operator types it: "2026-03-02", "2026-03-02 08:00", "2026-03-02T08:00:30",
// with "Z" or an offset ("+01:00") for a zone, else local time; or how long ago: "90m", "8h",
// "7d". `now` is the current epoch time. False when the text is none of these.
bool parseTimeOrAge(const std::string& text, double now, double* epochSeconds);

} // namespace dwlcli

// The calendar time of the operator's time zone, for the timestamps of the logs. Each system has
// its own (platform/posix: localtime_r; platform/windows/system: localtime_s); the C library's
// localtime() shares one result among all its callers.
#pragma once

#include <ctime>

// Fills *out with the local time of `when`; false when the system cannot convert it.
bool dwl_LocalTime(std::time_t when, std::tm* out);

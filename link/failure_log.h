// Log lines that report a failed exchange with the handset. Once the operator has stopped the
// run, every wait on the line ends as a time-out and every step in progress fails with its own
// line; the stop is what happened, so these lines are left out of the log then.
#pragma once

// Appends the line to the operator log unless the operator stopped the run.
void dwl12_LogFailure(const char* text);
// printf-style variant.
void dwl12_LogFailureF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The figures of an image's progress that every front end shows: percent, rate, time left, and
// a time as text.
#pragma once

#include <cstdint>
#include <string>

struct ImageProgress {
    uint32_t done;      // bytes on the line, at most the size
    int percent;        // 0..100; an empty image is whole
    double rate;        // bytes per second since the image began; 0 before any time passed
    double secondsLeft; // at that rate; -1 while the rate is unknown, 0 once whole
};

// done of size bytes after seconds; whole: the transfer ended with the image written (done is
// then the size).
ImageProgress dwl_ImageProgress(uint32_t done, uint32_t size, double seconds, bool whole = false);

// "mm:ss", "h:mm:ss" from an hour on, "--:--" for a time unknown (negative) or of 100 hours
// and more.
std::string dwl_TimeText(double seconds);

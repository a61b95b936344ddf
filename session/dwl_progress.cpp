#include "session/dwl_progress.h"

#include <cstdio>

ImageProgress dwl_ImageProgress(uint32_t done, uint32_t size, double seconds, bool whole) {
    ImageProgress p{};
    p.done = whole || done > size ? size : done;
    p.percent = size == 0 || p.done >= size
                    ? 100
                    : static_cast<int>(static_cast<uint64_t>(p.done) * 100 / size);
    p.rate = seconds > 0 ? p.done / seconds : 0.0;
    if (p.percent >= 100)
        p.secondsLeft = 0.0;
    else
        p.secondsLeft = p.rate > 0 ? (static_cast<double>(size) - p.done) / p.rate : -1.0;
    return p;
}

std::string dwl_TimeText(double seconds) {
    if (seconds < 0 || seconds > 359999) return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

#include "link/trace_gather.h"

#include <cstdio>

TraceGather::TraceGather(TraceWhat what, size_t limit) : what_(what), limit_(limit) {}

bool TraceGather::add(TraceFile* trace, uintptr_t key, const uint8_t* bytes, size_t count) {
    if (bytes_.empty()) return false;
    if (key != key_ || bytes_.size() + count > limit_) {
        flush(trace);
        return false;
    }
    bytes_.insert(bytes_.end(), bytes, bytes + count);
    return true;
}

void TraceGather::start(TraceFile* trace, double t, const char* settings, const char* step,
                        uintptr_t key, const uint8_t* bytes, size_t count) {
    flush(trace);
    if (count > limit_) {
        // Alone on its line whatever follows: summarised from the caller's buffer.
        dwl12_TraceLine(trace, t, what_, settings, step, bytes, count, nullptr);
        return;
    }
    t_ = t;
    key_ = key;
    std::snprintf(settings_, sizeof settings_, "%s", settings != nullptr ? settings : "-");
    std::snprintf(step_, sizeof step_, "%s", step != nullptr ? step : "-");
    bytes_.assign(bytes, bytes + count);
}

void TraceGather::flush(TraceFile* trace) {
    if (bytes_.empty()) return;
    dwl12_TraceLine(trace, t_, what_, settings_, step_, bytes_.data(), bytes_.size(), nullptr);
    bytes_.clear();
}

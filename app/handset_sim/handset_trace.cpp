#include "app/handset_sim/handset_trace.h"

#include <cstdio>
#include <cstring>

namespace {
// Most bytes from the PC that one trace line gathers.
constexpr size_t kGather = 65536;
} // namespace

HandsetTrace::HandsetTrace(TraceFile* trace, const sim::HandsetEngine& engine)
    : trace_(trace), engine_(engine), received_(TRACE_PC_TO_HS, kGather) {}

void HandsetTrace::opened(double now) {
    if (trace_ == nullptr || open_) return;
    open_ = true;
    openedAt_ = now;
    event(now, TRACE_OPEN, "PC opened the port");
}

void HandsetTrace::closed(double now) {
    if (trace_ == nullptr || !open_) return;
    event(now, TRACE_CLOSE, "PC closed the port");
    open_ = false;
}

void HandsetTrace::error(double now, int error) {
    char detail[96];
    std::snprintf(detail, sizeof detail, "%d %s", error, std::strerror(error));
    event(now, TRACE_ERROR, detail);
}

void HandsetTrace::event(double now, TraceWhat what, const char* detail) {
    if (trace_ == nullptr) return;
    received_.flush(trace_);
    leftOut(now);
    settings(now);
    dwl12_TraceLine(trace_, now - openedAt_, what, settings_, engine_.stateName(), nullptr, 0,
                    detail);
    std::fflush(trace_->file);
}

// Bytes from the PC arrive in wire-time slices: they are gathered into one line while the
// handset stays in the same state, as the PC wrote them in one piece.
void HandsetTrace::received(double at, const char* state, const uint8_t* bytes, size_t count) {
    if (trace_ == nullptr || count == 0) return;
    const uintptr_t key = reinterpret_cast<uintptr_t>(state);
    if (received_.add(trace_, key, bytes, count)) return;
    // The line as the handset has it when the first of the bytes comes in.
    leftOut(at);
    settings(at);
    received_.start(trace_, at - openedAt_, settings_, state, key, bytes, count);
}

void HandsetTrace::sent(double now, const uint8_t* bytes, const sim::Step* steps, size_t count) {
    if (trace_ == nullptr) return;
    size_t start = 0;
    for (size_t i = 1; i <= count; ++i) {
        if (i < count && steps[i] == steps[start]) continue;
        const bool announcement = steps[start] == sim::Step::WakeUp;
        if (announcement && lastWasWakeUp_) {
            leftOut_ += i - start;
        } else {
            received_.flush(trace_);
            leftOut(now);
            settings(now);
            dwl12_TraceLine(trace_, now - openedAt_, TRACE_HS_TO_PC, settings_,
                            sim::StepName(steps[start]), bytes + start, i - start, nullptr);
        }
        lastWasWakeUp_ = announcement;
        start = i;
    }
}

// Writes a speed event when the handset's line settings changed.
void HandsetTrace::settings(double now) {
    const sim::LineSettings s = engine_.lineSettings();
    if (s == tracedSettings_ && settings_[0] != '\0') return;
    const bool changed = settings_[0] != '\0';
    tracedSettings_ = s;
    dwl12_TraceSettings(settings_, sizeof settings_, s.baud, s.parity, 8, 1);
    if (changed && open_)
        dwl12_TraceLine(trace_, now - openedAt_, TRACE_SPEED, settings_, engine_.stateName(),
                        nullptr, 0, nullptr);
}

void HandsetTrace::leftOut(double now) {
    if (leftOut_ == 0) return;
    char detail[64];
    std::snprintf(detail, sizeof detail, "%zu more announcements left out", leftOut_);
    leftOut_ = 0;
    lastWasWakeUp_ = false;
    dwl12_TraceLine(trace_, now - openedAt_, TRACE_HS_TO_PC, settings_,
                    sim::StepName(sim::Step::WakeUp), nullptr, 0, detail);
}

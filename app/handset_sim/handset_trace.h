// The line trace from the handset's side, in the format of the PC's: what it receives, labelled
// with the state that takes it, and what it sends, labelled with the reply point; its own line
// settings; the PC's opening and closing of the port. Times count from the PC's opening.
#pragma once

#include "link/line_trace.h"
#include "link/trace_gather.h"
#include "sim/handset_engine.h"

#include <cstddef>
#include <cstdint>

class HandsetTrace {
  public:
    // Writes nothing without a trace file.
    HandsetTrace(TraceFile* trace, const sim::HandsetEngine& engine);

    bool active() const { return trace_ != nullptr; }
    // The PC has the port open; only the first call of an opening counts.
    void opened(double now);
    void closed(double now);
    void error(double now, int error);
    // Bytes from the PC, the first of them off the wire at `at`, taken in the handset state
    // `state` (a name of HandsetEngine::stateName()). Pieces of the same state make one line.
    void received(double at, const char* state, const uint8_t* bytes, size_t count);
    // Bytes just written to the PC, each with the reply point it belongs to. Of a row of
    // wake-up announcements only the first is written, and then how many followed.
    void sent(double now, const uint8_t* bytes, const sim::Step* steps, size_t count);

  private:
    void event(double now, TraceWhat what, const char* detail);
    void settings(double now);
    void leftOut(double now);

    TraceFile* trace_;
    const sim::HandsetEngine& engine_;
    bool open_ = false;
    double openedAt_ = 0.0;
    TraceGather received_;
    bool lastWasWakeUp_ = false;
    size_t leftOut_ = 0;
    sim::LineSettings tracedSettings_;
    char settings_[24] = "";
};

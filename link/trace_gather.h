// Bytes of one direction that come in pieces (a read at a time, a slice of wire time at a time),
// gathered into one trace line while they belong to the same step. The line is written when
// bytes of another step come, when it would grow past its limit, or when something else must go
// on the trace first (flush).
#pragma once

#include "link/trace_line.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TraceGather {
  public:
    // what: the direction of the bytes; limit: most bytes one line gathers.
    TraceGather(TraceWhat what, size_t limit);

    // Adds bytes of step `key` (any number that tells steps apart) to the pending line. False,
    // with nothing added, when they cannot join it (no line pending, another step, past the
    // limit); the pending line has then been written and the caller starts a new one.
    bool add(TraceFile* trace, uintptr_t key, const uint8_t* bytes, size_t count);
    // Starts a line with these bytes: t seconds since the port was opened, the line settings and
    // the step's text as they are now. A piece larger than the limit is written at once.
    void start(TraceFile* trace, double t, const char* settings, const char* step, uintptr_t key,
               const uint8_t* bytes, size_t count);
    // Writes the pending line, if any (drops it without a trace file).
    void flush(TraceFile* trace);

  private:
    static constexpr size_t kSettingsText = 24;
    static constexpr size_t kStepText = 96;

    TraceWhat what_;
    size_t limit_;
    std::vector<uint8_t> bytes_;
    double t_ = 0.0;
    uintptr_t key_ = 0;
    char settings_[kSettingsText] = "";
    char step_[kStepText] = "";
};

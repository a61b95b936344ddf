// One line of the line trace (link/line_trace.h): what it reports and how it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What a trace line reports.
enum TraceWhat {
    TRACE_PC_TO_HS, // "PC>HS"
    TRACE_HS_TO_PC, // "HS>PC"
    TRACE_OPEN,     // "open"
    TRACE_CLOSE,    // "close"
    TRACE_SPEED,    // "speed": new baud rate or parity
    TRACE_DTR,      // "DTR"
    TRACE_TIMEOUT,  // "time-out": a read that waited its whole time-out
    TRACE_ERROR,    // "error": an error of the port or of the operating system
};

constexpr size_t DWL_TRACE_BULK = 32;

// An open trace file.
struct TraceFile {
    FILE* file;
    bool fullData; // every byte of bulk chunks, not a summary
    int error = 0; // the system's error number of the first write that failed, 0 while none
};

// Writes one trace line. t: seconds since the port was opened; settings: "38400 8E1"; step: the
// protocol step; bytes and count for a chunk, detail (may be nullptr) for an event.
void dwl12_TraceLine(TraceFile* trace, double t, TraceWhat what, const char* settings,
                     const char* step, const uint8_t* bytes, size_t count, const char* detail);
// "38400 8E1": baud, data bits, parity letter (N O E M S for 0 to 4), stop bits.
void dwl12_TraceSettings(char* out, size_t size, long baud, int parity, int dataBits, int stopBits);

// The line trace: one text line per chunk of bytes or per event on a serial port, with the time
// since the port was opened, the direction, the line settings, the protocol step and the bytes.
// Every opened port is wrapped (rs232) so that its last bytes in each direction are kept for the
// failure report whether or not a trace file is written.
//
//        time(us) what   settings    step                     | bytes or detail
//           52100 HS>PC  38400 8E1   wake-up                  | BE
//           52400 PC>HS  38400 8E1   wake-up                  | 44
//
// A chunk of more than DWL_TRACE_BULK bytes is summarised unless full data was asked for:
// its first and last 16 bytes, its byte count and its sum.
#pragma once

#include "link/serial_device.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

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
constexpr int DWL_LAST_BYTES = 64;

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

// Starts the trace of the ports opened from now on into path (emptied first unless append).
// 0, or -1 when the file cannot be opened (errno tells why).
int dwl12_TraceStart(const char* path, bool append, bool fullData);
// Ends the trace: the file is closed (ports still open stop being traced). 0, or the system's
// error number of the first write or of the close that failed: the trace is incomplete.
int dwl12_TraceStop();
// True while a trace file is open.
bool dwl12_TraceActive();

// A new run begins: the kept last bytes and the step are forgotten.
void dwl12_TraceRunStart();
// The last bytes (at most DWL_LAST_BYTES) sent to the handset (toHandset) or received from it,
// oldest first. Returns their number.
int dwl12_LastLineBytes(bool toHandset, uint8_t* out, int max);

// A wait of the protocol's own (not a read) gave up: a time-out event on the port opened last.
void dwl12_NoteLineTimeout();

// Wraps a port just opened: its traffic goes to the trace file and its last bytes are kept.
std::unique_ptr<SerialDevice> dwl12_TraceDevice(std::unique_ptr<SerialDevice> device, int port,
                                                const char* deviceName);

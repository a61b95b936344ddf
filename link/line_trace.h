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
#include "link/trace_line.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

constexpr int DWL_LAST_BYTES = 64;

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

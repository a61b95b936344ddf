// Serial port services, addressed by COM port number (1 to 32).
#pragma once

#include "link/rs232_errors.h"

// ComSetEscape codes.
constexpr int SETDTR = 5;
constexpr int CLRDTR = 6;

int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
int SetCTSMode(int port, int mode);
int SetXMode(int port, int mode);
int SetComTime(int port, double seconds);
int FlushInQ(int port);
int FlushOutQ(int port);
int ComSetEscape(int port, int escapeCode);
int ComWrtByte(int port, int byte);
int ComWrt(int port, const void* buffer, int count);
int GetOutQLen(int port);
int GetInQLen(int port);
// Sleeps until a received byte is ready to read, the operator cancels, the port fails or
// `seconds` pass. Bytes ready (0: none), or a negative error number when the port is gone.
int WaitInQ(int port, double seconds);
// Sleeps until the output queue is empty, the operator cancels, the port fails or `seconds`
// pass. Bytes still queued (0: drained), or a negative error number when the port is gone.
int WaitOutQEmpty(int port, double seconds);
int ComRdByte(int port);
int ComRd(int port, void* buffer, int count);

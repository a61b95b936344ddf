// Line helpers shared by the boot protocol and the command layer.
#pragma once

#include <cstdint>

// The answer byte that stands for "nothing arrived" (the low byte of a read time-out).
constexpr uint8_t DWL_NO_ANSWER = 0x9D;

// Next byte from the handset. A time-out, or any other read error of the port, gives
// DWL_NO_ANSWER, so that no loop waiting for a byte can spin on a dead port.
uint8_t dwl1_60ReadAnswer(uint8_t port);

// Seconds the output queue may stay without shrinking before a wait for it gives up (the
// write time-out of the fast link).
constexpr double DWL_OUTQ_STALL_SECONDS = 10.0;

// Longest sleep of a wait on the line before it lets pending user-interface events run.
constexpr double DWL_WAIT_SLICE_SECONDS = 0.05;

// Told after each slice of a wait for the output queue how many bytes are still queued.
struct OutQueueWatch {
    void (*Call)(int queued, void* user);
    void* User;
};

// Waits until the output queue of the port is empty, letting pending user-interface events run
// meanwhile when pumpEvents is set, and telling the watch, when there is one, what is left.
// Returns 1 when the queue emptied, 0 when it stalled, the port went away or the operator
// cancelled. It sleeps while it waits.
int dwl1_61WaitOutQueueEmpty(uint8_t port, bool pumpEvents, const OutQueueWatch* watch = nullptr);

// Writes value into out[0..3], most significant byte first (the order of the PC's numbers).
void dwl1_62PutBigEndian32(uint8_t* out, uint32_t value);

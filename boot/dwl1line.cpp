#include "boot/dwl1line.h"

#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "session/dwl_clock.h"
#include "uis/uis.h"

uint8_t dwl1_60ReadAnswer(uint8_t port) {
    int value = ComRdByte(port);
    if (value < 0) return DWL_NO_ANSWER;
    return static_cast<uint8_t>(value);
}

int dwl1_61WaitOutQueueEmpty(uint8_t port, bool pumpEvents, const OutQueueWatch* watch) {
    int last = GetOutQLen(port);
    double lastProgress = dwl_Now();
    while (last > 0) {
        if (rs232_Cancelled()) return 0;
        // Sleeps until the queue drains or a slice passes, then lets pending events run.
        int length = WaitOutQEmpty(port, DWL_WAIT_SLICE_SECONDS);
        if (watch != nullptr && length >= 0) watch->Call(length, watch->User);
        if (pumpEvents) ProcessSystemEvents();
        if (length == 0) return 1;
        if (length < 0) return 0; // the port is gone: nothing more will leave it
        double now = dwl_Now();
        if (length < last) {
            last = length;
            lastProgress = now;
        } else if (now - lastProgress >= DWL_OUTQ_STALL_SECONDS) {
            return 0;
        }
    }
    return 1;
}

void dwl1_62PutBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

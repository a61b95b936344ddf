#include "link/rs232_cancel.h"

#include "link/cancel_wake.h"

#include <atomic>

namespace {

std::atomic<bool> cancelled{false};

} // namespace

void rs232_Cancel() {
    // Only the first call signals the system's object: a second one finds it signalled.
    if (!cancelled.exchange(true)) dwl_CancelWakeSet();
}

bool rs232_Cancelled() {
    return cancelled.load();
}

void rs232_ClearCancel() {
    cancelled.store(false);
    dwl_CancelWakeClear();
}

#include "platform/windows/system/cancel_event.h"

#include "link/cancel_wake.h"

namespace dwlwin {

namespace {

// Made during static initialisation, so that the console's stop handler never has to.
const HANDLE kCancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

} // namespace

HANDLE cancelEvent() {
    return kCancelEvent;
}

} // namespace dwlwin

void dwl_CancelWakeSet() {
    if (dwlwin::kCancelEvent != nullptr) SetEvent(dwlwin::kCancelEvent);
}

void dwl_CancelWakeClear() {
    if (dwlwin::kCancelEvent != nullptr) ResetEvent(dwlwin::kCancelEvent);
}

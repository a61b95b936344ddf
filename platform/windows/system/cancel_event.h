// The operator's cancel on Windows: a manual-reset event that stays signalled while the cancel
// is set (link/cancel_wake.h), for waits that sleep in WaitForMultipleObjects.
#pragma once

#include <windows.h>

namespace dwlwin {

// The event; nullptr when the system gave none (then a wait sleeps in short slices and looks at
// the flag).
HANDLE cancelEvent();

} // namespace dwlwin

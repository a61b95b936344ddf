// Keeps the windows painted while the protocol waits on the serial line: the wait hook of the
// port services runs Qt's pending non-input events (paint, expose, resize), at most every few
// milliseconds. Operator input and posted operator actions wait for the next event-pump point.
#pragma once

void dwl_qt_InstallWaitHook();
void dwl_qt_RemoveWaitHook();
// What the hook does, callable directly (runs at most once per interval).
void dwl_qt_RepaintWhileWaiting();
// Shortest time between two runs of the hook, in milliseconds (30 unless set; 0: every call).
void dwl_qt_SetRepaintInterval(int msecs);

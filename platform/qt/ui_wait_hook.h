// Keeps the windows painted while the protocol waits on the serial line: the wait hook of the
// port services runs Qt's pending events, at most every few milliseconds. Operator input reaches
// the widgets at once (a click on a dimmed control is dropped there); the operator actions it
// posts wait for the next event-pump point.
#pragma once

void dwl_qt_InstallWaitHook();
void dwl_qt_RemoveWaitHook();
// What the hook does, callable directly (runs at most once per interval).
void dwl_qt_RepaintWhileWaiting();
// Shortest time between two runs of the hook, in milliseconds (30 unless set; 0: every call).
void dwl_qt_SetRepaintInterval(int msecs);

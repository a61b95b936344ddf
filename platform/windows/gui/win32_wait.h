// Keeps the windows live while the protocol waits on the serial line: the waits sleep until
// bytes, the operator's cancel, their deadline or a window message arrive
// (MsgWaitForMultipleObjectsEx), and a message that comes is delivered at once by the wait hook.
// Operator input reaches the controls then (a click on a dimmed control is dropped there); the
// operator actions it posts wait for the next event-pump point. Nothing polls.
#pragma once

void win32_InstallWaitHook();
void win32_RemoveWaitHook();
// What the hook does, callable directly: delivers the messages waiting now.
void win32_DeliverWhileWaiting();

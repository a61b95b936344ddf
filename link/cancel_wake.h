// The operating system's side of the operator's cancel (link/rs232_cancel.h): an object of the
// system that stays signalled while the cancel is set, so that every wait sleeping in the system
// wakes at once. Each system has its own: a pipe (platform/posix/cancel_pipe.h) or an event
// (platform/windows/system/cancel_event.h). It exists before main() runs, so that a signal
// handler never has to make it.
#pragma once

// Signals it. Safe from a signal handler and from any thread.
void dwl_CancelWakeSet();
// Makes it quiet again.
void dwl_CancelWakeClear();

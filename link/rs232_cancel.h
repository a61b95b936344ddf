// Operator cancel of the serial waits: a Stop button or Ctrl-C ends every wait on every port at
// once. While the cancel is set, a read answers as its time-out (DWL_RS232_TIMEOUT, so the
// protocol sees "no answer" and ends the step with that step's own result), a wait for the
// output queue gives up, and nothing more goes to the handset: what a port still holds for
// sending is discarded (by the next service called on it, at the latest by CloseCom) and a write
// queues nothing and returns 0. The cancel stays set until rs232_ClearCancel(), normally before
// the next run.
#pragma once

// Sets the cancel and wakes every wait that sleeps. Safe from any thread and from a signal
// handler (an atomic flag and the system's wake-up object, link/cancel_wake.h).
void rs232_Cancel();
// True from rs232_Cancel() until rs232_ClearCancel().
bool rs232_Cancelled();
// Clears the cancel; later waits sleep again.
void rs232_ClearCancel();

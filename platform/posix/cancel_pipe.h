// The operator's cancel on a POSIX system: a wake-up pipe that holds one byte while the cancel
// is set (link/cancel_wake.h), for backends that sleep in poll().
#pragma once

// A descriptor that polls readable while the cancel is set; -1 when the system gave no pipe
// (then a backend sleeps in short slices and looks at the flag).
int rs232_CancelFd();

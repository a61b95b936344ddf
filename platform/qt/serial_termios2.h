// Line speed and queue access on an open tty that QSerialPort does not give: arbitrary baud rates
// (termios2 with BOTHER on Linux) and the kernel's output queue.
#pragma once

namespace dwlqt {

// Output speed the kernel holds for the tty in baud, or -1 when it cannot be read.
long lineSpeed(int fd);
// Sets both directions to `baud` as an arbitrary rate. false when the driver refuses it.
bool setLineSpeed(int fd, long baud);
// Bytes the kernel still holds for sending on the tty (0 when it cannot tell).
int kernelOutQueue(int fd);
// True for the slave side of a pseudo-terminal, which has no parity and no modem lines.
bool isPseudoTerminal(int fd);

} // namespace dwlqt

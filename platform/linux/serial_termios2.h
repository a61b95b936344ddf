// Line settings of an open terminal through the kernel's termios2: raw bytes, any baud rate
// (the standard ones as their constants, every other as an arbitrary rate), parity, data and stop
// bits, no flow control; the kernel's queues and the modem lines.
#pragma once

namespace dwllinux {

// True when fd is a terminal (the kernel holds line settings for it).
bool isTerminal(int fd);
// True for the slave side of a pseudo-terminal, which has no parity and no modem lines.
bool isPseudoTerminal(int fd);

// Raw mode at `baud` in both directions, parity 0 none, 1 odd, 2 even, 3 mark, 4 space; no
// hardware or XON/XOFF handshake; the receiver on and the modem lines ignored. 0, or the
// system's error number when the kernel refuses the settings.
int setLine(int fd, long baud, int parity, int dataBits, int stopBits);
// True when the kernel holds a parity bit for the line.
bool lineHasParity(int fd);
// Output speed the kernel holds for the terminal in baud, or -1 when it cannot be read.
long lineSpeed(int fd);
// The rate (a standard one by its constant where the driver keeps no number) and the parity
// (0 none, 1 odd, 2 even) the kernel holds for the line; false when they cannot be read. On the
// master side of a pseudo-terminal: the slave's settings, as the PC gave them.
bool lineSettings(int fd, long* baud, int* parity);
// Sets both directions to `baud` as an arbitrary rate. false when the driver refuses it.
bool setLineSpeed(int fd, long baud);

// Bytes the kernel still holds for sending (0 when it cannot tell).
int kernelOutQueue(int fd);
// Bytes received and not yet read (0 when it cannot tell).
int kernelInQueue(int fd);
// Discards what the kernel (and the device) still holds for sending, or what it received.
void discardOutput(int fd);
void discardInput(int fd);

// Raises or drops DTR. false when the line has no modem lines (a pseudo-terminal).
bool setDtr(int fd, bool on);
// Keeps other openers out (except the superuser's), or lets them in again. The claim outlives
// the descriptor on a pseudo-terminal whose far end stays open: release it before the close.
void claimExclusive(int fd);
void releaseExclusive(int fd);

} // namespace dwllinux

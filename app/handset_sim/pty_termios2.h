// The line settings the PC gave the slave side of a pseudo-terminal, read through the master.
#pragma once

// Baud rate and parity (0 none, 1 odd, 2 even) of the slave; false when they cannot be read.
bool ReadSlaveLineSettings(int masterFd, long* baud, int* parity);

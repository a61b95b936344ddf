// Sets any baud rate, standard or not, on a terminal (termios2 with BOTHER), raw, no parity.
#pragma once

bool SetAnyRate(int fd, long baud);

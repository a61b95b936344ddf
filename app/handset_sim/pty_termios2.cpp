// Kept apart: the kernel's termios2 header cannot live beside the C library's termios.h.
#include "app/handset_sim/pty_termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace {
long StandardRate(unsigned code) {
    switch (code) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 0;
    }
}
} // namespace

bool ReadSlaveLineSettings(int masterFd, long* baud, int* parity) {
    struct termios2 t {};
    // On the master, the terminal ioctls reach the slave's settings.
    if (ioctl(masterFd, TCGETS2, &t) != 0) return false;
    long rate = static_cast<long>(t.c_ospeed);
    if (rate == 0 || (t.c_cflag & CBAUD) != BOTHER) {
        long standard = StandardRate(t.c_cflag & CBAUD);
        if (standard != 0) rate = standard;
    }
    *baud = rate;
    *parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
    return true;
}

// Kept apart: the kernel's termios2 header cannot live beside the C library's termios.h.
#include "tests/app/handset_sim/pty_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetAnyRate(int fd, long baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~(CBAUD | PARENB);
    t.c_cflag |= BOTHER | CS8 | CREAD | CLOCAL;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &t) == 0;
}

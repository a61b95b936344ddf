#include "platform/qt/serial_termios2.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#ifdef __linux__
#include <asm/termbits.h>
#endif

namespace dwlqt {

#ifdef __linux__

long lineSpeed(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    return static_cast<long>(tio.c_ospeed);
}

bool setLineSpeed(int fd, long baud) {
    if (baud <= 0) return false;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    tio.c_cflag |= BOTHER;
    tio.c_ospeed = static_cast<speed_t>(baud);
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    // Unix98 pseudo-terminal slaves use majors 136 to 143.
    unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

#else

long lineSpeed(int) {
    return -1;
}
bool setLineSpeed(int, long) {
    return false;
}
bool isPseudoTerminal(int) {
    return false;
}

#endif

int kernelOutQueue(int fd) {
#ifdef TIOCOUTQ
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) return queued;
#else
    (void)fd;
#endif
    return 0;
}

} // namespace dwlqt

// Kept apart: the kernel's termios2 header cannot live beside the C library's termios.h.
#include "platform/linux/serial_termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace dwllinux {
namespace {

struct StandardRate {
    long baud;
    tcflag_t code;
};

// The rates the kernel knows by a constant; any other goes as an arbitrary rate.
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t rateCode(long baud) {
    for (const StandardRate& r : kStandardRates)
        if (r.baud == baud) return r.code;
    return BOTHER;
}

void putRate(termios2* tio, long baud) {
    const tcflag_t code = rateCode(baud);
    tio->c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio->c_cflag |= code | (code << IBSHIFT);
    tio->c_ospeed = static_cast<speed_t>(baud);
    tio->c_ispeed = static_cast<speed_t>(baud);
}

tcflag_t charSize(int dataBits) {
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

} // namespace

bool isTerminal(int fd) {
    struct termios2 tio {};
    return ioctl(fd, TCGETS2, &tio) == 0;
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    // Unix98 pseudo-terminal slaves use majors 136 to 143.
    unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

int setLine(int fd, long baud, int parity, int dataBits, int stopBits) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    // Raw bytes both ways: no translation, no echo, no signals, no flow control; a parity error
    // is not looked at (the byte comes through as it arrived).
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_iflag |= IGNPAR;
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= charSize(dataBits) | CREAD | CLOCAL;
    if (stopBits == 2) tio.c_cflag |= CSTOPB;
    switch (parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // A read without bytes answers "try again" instead of "end of file".
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    putRate(&tio, baud);
    if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

bool lineHasParity(int fd) {
    struct termios2 tio {};
    return ioctl(fd, TCGETS2, &tio) == 0 && (tio.c_cflag & PARENB) != 0;
}

long lineSpeed(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
    return static_cast<long>(tio.c_ospeed);
}

bool lineSettings(int fd, long* baud, int* parity) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    long rate = static_cast<long>(tio.c_ospeed);
    if (rate == 0 || (tio.c_cflag & CBAUD) != BOTHER)
        for (const StandardRate& r : kStandardRates)
            if (r.code == (tio.c_cflag & CBAUD)) rate = r.baud;
    *baud = rate;
    *parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
    return true;
}

bool setLineSpeed(int fd, long baud) {
    if (baud <= 0) return false;
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = static_cast<speed_t>(baud);
    tio.c_ispeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

int kernelOutQueue(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) return queued;
    return 0;
}

int kernelInQueue(int fd) {
    int ready = 0;
    if (ioctl(fd, FIONREAD, &ready) == 0 && ready > 0) return ready;
    return 0;
}

void discardOutput(int fd) {
    ioctl(fd, TCFLSH, TCOFLUSH);
}

void discardInput(int fd) {
    ioctl(fd, TCFLSH, TCIFLUSH);
}

bool setDtr(int fd, bool on) {
    int bits = TIOCM_DTR;
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void claimExclusive(int fd) {
    ioctl(fd, TIOCEXCL);
}

void releaseExclusive(int fd) {
    ioctl(fd, TIOCNXCL);
}

} // namespace dwllinux

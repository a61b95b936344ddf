#include "link/dwl12pclib.h"

#include "link/com_map.h"
#include "link/rs232.h"

#include <cstdio>

const long a_PCSpeedValue[9] = {38400,  115200, 230400, 460800, 220338,
                                240740, 260000, 270833, 302325};

namespace {
constexpr int kQueueSize = 65536;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
} // namespace

void dwl12_3ComName(int port, char* name, unsigned nameSize) {
    if (!name || nameSize == 0) return;
    std::snprintf(name, nameSize, "%s", dwl_ComPortName(port).c_str());
}

int dwl12_0UartInit(int port, long baud, int parity, unsigned int timeoutSeconds) {
    char name[256];
    dwl12_3ComName(port, name, sizeof name);

    int rc = OpenComConfig(port, name, baud, parity, kDataBits, kStopBits, kQueueSize, kQueueSize);
    if (rc != 0) {
        // The error keeps its sign: an open failure is always a negative number.
        return static_cast<int>(static_cast<unsigned>(rc) | 0x80000000u);
    }

    SetCTSMode(port, 0);
    SetXMode(port, 0);
    FlushInQ(port);
    FlushOutQ(port);
    ComSetEscape(port, CLRDTR);
    SetComTime(port, static_cast<double>(timeoutSeconds));
    return 1;
}

void dwl12_1UartStop(uint8_t port) {
    ComSetEscape(port, CLRDTR);
    CloseCom(port);
}

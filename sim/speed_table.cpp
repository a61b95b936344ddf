#include "sim/speed_table.h"

namespace sim {
namespace {
struct SpeedEntry {
    uint8_t p[3];
    long baud;
};

constexpr SpeedEntry kSpeeds[] = {
    {{0x00, 0xFF, 0xEB}, 38400},  {{0x00, 0xFF, 0xF9}, 115200}, {{0x80, 0xFF, 0xFD}, 230400},
    {{0xC0, 0xFF, 0xFF}, 460800}, {{0xB0, 0xFF, 0xFD}, 220338}, {{0x60, 0xFF, 0xFD}, 240740},
    {{0x20, 0xFF, 0xFD}, 260000}, {{0x00, 0xFF, 0xFD}, 270833}, {{0xB0, 0xFF, 0xFE}, 302325},
};
} // namespace

long BaudForSpeedParameters(uint8_t p0, uint8_t p1, uint8_t p2) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.p[0] == p0 && e.p[1] == p1 && e.p[2] == p2) return e.baud;
    }
    return 0;
}

} // namespace sim

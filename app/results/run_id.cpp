#include "app/results/run_id.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace dwlcli {

std::string newRunId() {
    // The system's entropy, so that processes started in the same instant still differ.
    std::random_device entropy;
    uint8_t b[16];
    for (int i = 0; i < 16; i += 4) {
        const uint32_t word = entropy();
        for (int k = 0; k < 4; k++)
            b[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    char text[40];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

} // namespace dwlcli

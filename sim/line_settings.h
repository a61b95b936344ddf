// Line settings of one end of the serial line, and the time a byte takes on the wire.
#pragma once

namespace sim {

struct LineSettings {
    long baud = 38400;
    int parity = 2; // 0 none, 1 odd, 2 even

    bool operator==(const LineSettings&) const = default;
};

// Start bit, eight data bits, (parity bit,) stop bit.
inline double ByteTime(LineSettings s) {
    if (s.baud <= 0) return 0.0;
    return (s.parity != 0 ? 11.0 : 10.0) / static_cast<double>(s.baud);
}

// The boot loader's line: 38400 baud, even parity.
constexpr LineSettings kBootLine{38400, 2};

} // namespace sim

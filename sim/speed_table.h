// The handset's own table of baud-rate divider triples, as its bootstrap knows them.
#pragma once

#include <cstdint>

namespace sim {

// Baud rate for a divider triple of the speed frame; 0 when the bootstrap does not know it.
long BaudForSpeedParameters(uint8_t p0, uint8_t p1, uint8_t p2);

} // namespace sim

// SHA-256 (FIPS 180-4) of a byte stream, for the digests of what the handset wrote: the same
// digest as `sha256sum` gives for the image file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class Sha256 {
  public:
    Sha256();
    void add(const uint8_t* bytes, size_t count);
    // The digest of everything added, as 64 lower-case hex digits. Ends the stream.
    std::string hex();

  private:
    void block(const uint8_t* p);

    uint32_t state_[8];
    uint8_t pending_[64];
    size_t pendingCount_ = 0;
    uint64_t total_ = 0;
};

// The digest of one buffer.
std::string Sha256Hex(const uint8_t* bytes, size_t count);

} // namespace sim

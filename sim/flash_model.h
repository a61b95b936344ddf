// The handset's flash memory: sized from the description of its chip, erased to 0xFF,
// programmed the way NOR flash is (programming can only clear bits).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

constexpr uint32_t kFlashBase = 0x02000000u;

// A stretch of programmed flash.
struct FlashRange {
    uint32_t address;
    uint32_t count;
    bool operator==(const FlashRange&) const = default;
};

class FlashModel {
  public:
    // Reads the description file and sizes the memory for the chip with these identification
    // bytes. False (and an empty flash) when the file cannot be read or holds no such chip.
    bool load(const std::string& path, uint8_t manufacturerId, uint8_t deviceId);

    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    // True when [address, address + count) lies inside the flash.
    bool contains(uint32_t address, uint64_t count) const;
    void erase(uint32_t address, uint32_t count);
    void program(uint32_t address, uint8_t value);
    // Programs count bytes from address on; bytes outside the flash are ignored.
    void program(uint32_t address, const uint8_t* data, uint32_t count);
    // Pointer to the byte at a handset address inside the flash, nullptr outside.
    const uint8_t* at(uint32_t address) const;

    // The stretches programmed since the last forgetWritten(), in address order, touching ones
    // joined.
    std::vector<FlashRange> written() const;
    void forgetWritten() { written_.clear(); }

  private:
    void noteWritten(uint32_t address, uint32_t count);

    std::vector<uint8_t> bytes_;
    std::map<uint32_t, uint64_t> written_; // first address -> address past the end
};

// An image and the handset address it belongs at.
struct PlacedImage {
    uint32_t address;
    const uint8_t* data;
    uint32_t size;
};

// True when a flash of `size` bytes (its first at kFlashBase) holds exactly these images, in
// address order and apart, and is erased (0xFF) everywhere else: what writing them, and nothing
// else, leaves in an erased flash.
bool FlashHoldsOnly(const uint8_t* flash, uint32_t size, const std::vector<PlacedImage>& images);

// First chip of a description file (its identification bytes); false when there is none.
bool FirstChipOf(const std::string& path, uint8_t* manufacturerId, uint8_t* deviceId);

} // namespace sim

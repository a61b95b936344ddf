#include "sim/flash_model.h"

#include "flash/dwl10fla.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

namespace sim {
namespace {

// Parses a description file into a table of our own; the PC's global table stays untouched.
std::unique_ptr<FlashDescriptionTable> ReadTable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::vector<uint8_t> text((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    auto table = std::make_unique<FlashDescriptionTable>();
    *table = FlashDescriptionTable{};
    // A file that fails part-way still yields the complete blocks before the fault.
    dwl10_102ParseFlashDescription(text.data(), static_cast<uint32_t>(text.size()), table.get());
    return table;
}

} // namespace

bool FlashModel::load(const std::string& path, uint8_t manufacturerId, uint8_t deviceId) {
    bytes_.clear();
    auto table = ReadTable(path);
    if (!table) return false;
    int count = table->NbFlash <= DWL_MAX_FLASH ? table->NbFlash : DWL_MAX_FLASH;
    for (int i = 0; i < count; ++i) {
        const FlashDescription& d = table->Flash[i];
        if (d.ManufacturerId != manufacturerId || d.DeviceId != deviceId) continue;
        uint64_t total = 0;
        uint32_t sectors = d.NbSectors <= DWL_MAX_SECTORS ? d.NbSectors : DWL_MAX_SECTORS;
        for (uint32_t s = 0; s < sectors; ++s)
            total += d.Sector[s].Size;
        // Nothing above the 32-bit address space past the flash base can be addressed.
        if (total > 0xFFFFFFFFull - kFlashBase) total = 0xFFFFFFFFull - kFlashBase;
        bytes_.assign(static_cast<size_t>(total), 0xFF);
        return true;
    }
    return false;
}

bool FlashModel::contains(uint32_t address, uint64_t count) const {
    if (address < kFlashBase) return false;
    uint64_t offset = address - kFlashBase;
    return offset + count <= bytes_.size();
}

void FlashModel::erase(uint32_t address, uint32_t count) {
    if (!contains(address, count)) return;
    std::fill_n(bytes_.begin() + (address - kFlashBase), count, 0xFF);
}

void FlashModel::program(uint32_t address, uint8_t value) {
    if (!contains(address, 1)) return;
    bytes_[address - kFlashBase] &= value;
    noteWritten(address, 1);
}

void FlashModel::program(uint32_t address, const uint8_t* data, uint32_t count) {
    if (!contains(address, count)) {
        for (uint32_t i = 0; i < count; ++i)
            program(address + i, data[i]);
        return;
    }
    uint8_t* p = bytes_.data() + (address - kFlashBase);
    for (uint32_t i = 0; i < count; ++i)
        p[i] &= data[i];
    if (count > 0) noteWritten(address, count);
}

void FlashModel::noteWritten(uint32_t address, uint32_t count) {
    uint64_t begin = address;
    uint64_t end = begin + count;
    auto next = written_.upper_bound(address);
    if (next != written_.begin()) {
        auto touched = std::prev(next);
        if (touched->second >= begin) {
            // The usual case, byte after byte: the range grows without a new entry.
            if (next == written_.end() || end < next->first) {
                touched->second = std::max(touched->second, end);
                return;
            }
            begin = touched->first;
            end = std::max(end, touched->second);
            written_.erase(touched);
        }
    }
    while (next != written_.end() && next->first <= end) {
        end = std::max(end, next->second);
        next = written_.erase(next);
    }
    written_[static_cast<uint32_t>(begin)] = end;
}

std::vector<FlashRange> FlashModel::written() const {
    std::vector<FlashRange> ranges;
    for (const auto& [begin, end] : written_)
        ranges.push_back(FlashRange{begin, static_cast<uint32_t>(end - begin)});
    return ranges;
}

const uint8_t* FlashModel::at(uint32_t address) const {
    if (!contains(address, 1)) return nullptr;
    return bytes_.data() + (address - kFlashBase);
}

bool FlashHoldsOnly(const uint8_t* flash, uint32_t size, const std::vector<PlacedImage>& images) {
    const auto erased = [](const uint8_t* from, const uint8_t* to) {
        return std::all_of(from, to, [](uint8_t b) { return b == 0xFF; });
    };
    uint64_t at = 0; // offset of the first byte not yet checked
    for (const PlacedImage& image : images) {
        if (image.address < kFlashBase) return false;
        const uint64_t offset = image.address - kFlashBase;
        if (offset < at || offset + image.size > size) return false;
        if (!erased(flash + at, flash + offset)) return false;
        if (image.size > 0 && !std::equal(image.data, image.data + image.size, flash + offset))
            return false;
        at = offset + image.size;
    }
    return erased(flash + at, flash + size);
}

bool FirstChipOf(const std::string& path, uint8_t* manufacturerId, uint8_t* deviceId) {
    auto table = ReadTable(path);
    if (!table || table->NbFlash == 0) return false;
    *manufacturerId = table->Flash[0].ManufacturerId;
    *deviceId = table->Flash[0].DeviceId;
    return true;
}

} // namespace sim

#include "sim/flash_model.h"

#include "flash/dwl10fla.h"

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
}

const uint8_t* FlashModel::at(uint32_t address) const {
    if (!contains(address, 1)) return nullptr;
    return bytes_.data() + (address - kFlashBase);
}

bool FirstChipOf(const std::string& path, uint8_t* manufacturerId, uint8_t* deviceId) {
    auto table = ReadTable(path);
    if (!table || table->NbFlash == 0) return false;
    *manufacturerId = table->Flash[0].ManufacturerId;
    *deviceId = table->Flash[0].DeviceId;
    return true;
}

} // namespace sim

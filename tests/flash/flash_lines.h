// Flash description text for the tests: one block as lines, to be changed line by line.
#pragma once

#include "flash/dwl10fla.h"
#include "tests/support/temp_files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace flashtest {

// Index of each line in the vector that flashBlock returns.
enum BlockLine {
    kNewFlash = 0,
    kManufacturerName,
    kDeviceName,
    kProduct,
    kManufacturerId,
    kDeviceId,
    kNbBanks,
    kNbSectors,
    kStartSectors,
    kFirstSectorLine,
};

inline std::vector<std::string> flashBlock(const std::string& manufacturer,
                                           const std::string& device, int manufacturerId,
                                           int deviceId, int nbSectors,
                                           const std::vector<std::string>& sectorLines) {
    std::vector<std::string> lines = {
        "NEW_FLASH",
        "MANUFACTURER_NAME : " + manufacturer,
        "DEVICE_NAME : " + device,
        "BASEBAND_PRODUCT : PCF5087",
        "MANUFACTURER_ID : " + std::to_string(manufacturerId),
        "DEVICE_ID : " + std::to_string(deviceId),
        "NB_BANKS : 2",
        "NB_SECTORS : " + std::to_string(nbSectors),
        "START_SECTOR_DESCRITPION",
    };
    lines.insert(lines.end(), sectorLines.begin(), sectorLines.end());
    lines.push_back("END_SECTOR_DESCRIPTION");
    lines.push_back("END_FLASH");
    return lines;
}

// Three sectors: 8192, 8192, 65536 bytes.
inline std::vector<std::string> smallBlock(int manufacturerId = 137, int deviceId = 24) {
    return flashBlock("INTEL", "SMALL", manufacturerId, deviceId, 3, {"0-1*8192*0", "2*65536*1"});
}

inline std::vector<std::string> join(std::vector<std::string> a,
                                     const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Parses text into table and returns the code.
inline int parseText(const std::string& text, FlashDescriptionTable* table) {
    // An exact-size heap copy, so that any read past the end is caught by the sanitizers.
    std::vector<uint8_t> bytes(text.begin(), text.end());
    return dwl10_102ParseFlashDescription(bytes.empty() ? nullptr : bytes.data(),
                                          (uint32_t)bytes.size(), table);
}

inline int parseLines(const std::vector<std::string>& lines, FlashDescriptionTable* table) {
    return parseText(testsupport::crlfText(lines), table);
}

} // namespace flashtest

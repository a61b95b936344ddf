// Flash descriptions (flash.txt) and the sector geometry queries answered from them.
#pragma once

#include <cstdint>

constexpr int DWL_MAX_FLASH = 20;
constexpr uint32_t DWL_MAX_SECTORS = 300;

struct FlashSector {
    uint8_t Bank;
    uint32_t Size;
};

struct FlashDescription {
    char ManufacturerName[15];
    char DeviceName[15];
    uint8_t ManufacturerId;
    uint8_t DeviceId;
    uint8_t NbBanks;
    uint32_t NbSectors;
    uint32_t FlashSize;
    FlashSector Sector[DWL_MAX_SECTORS];
    // The first sector line of the block whose size no flash has (0, or not a power of two):
    // its line in the file, counted from 1, and that size. BadSizeLine 0: none.
    uint32_t BadSizeLine;
    uint32_t BadSize;
};

struct FlashDescriptionTable {
    uint8_t NbFlash;
    FlashDescription Flash[DWL_MAX_FLASH];
};

extern FlashDescriptionTable vg_FlashDescritpion;

struct SectorList {
    uint32_t NbSectors;
    uint32_t TotalSize;
    uint32_t Sector[DWL_MAX_SECTORS];
};

// Reads flash.txt of the working directory into vg_FlashDescritpion. 1 or the code of the line.
int dwl10_100InitFlashDescription();
// The same, from any file (the command line's check).
int dwl10_101InitFlashDescriptionFrom(const char* path);
// Parses flash description text into a caller's table (the emulator keeps its own).
int dwl10_102ParseFlashDescription(const uint8_t* data, uint32_t length,
                                   FlashDescriptionTable* table);

int dwl10_500GetFlashIndex(uint8_t manufacturerId, uint8_t deviceId, uint8_t* index);

// A description with a sector size that no flash has: the sector count and size queries refuse
// the chip with this code, so that no run writes it with that geometry.
constexpr int DWL_FLASH_BAD_SECTOR_SIZE = 21;
// Whether a sector size is one a flash chip can have: a power of two.
bool dwl10_7SectorSizeExists(uint32_t size);
// 1 when the chip's description can be written with; 15 when there is none; 21 (and the line
// that makes it so, for the operator log, in text) for a sector size no flash has.
int dwl10_8CheckSectorSizes(uint8_t manufacturerId, uint8_t deviceId, char* text, unsigned size);

// The sector count and size of a chip: 1, 15, 19 (size: sector not below the count), 21.
int dwl10_0GetSectorSize(uint8_t manufacturerId, uint8_t deviceId, uint32_t sector, uint32_t* size);
int dwl10_1GetNumberOfSector(uint8_t manufacturerId, uint8_t deviceId, uint32_t* count);
int dwl10_2GetSectorNumberWithStartAddr(uint8_t manufacturerId, uint8_t deviceId, uint32_t offset,
                                        uint32_t* sector);
int dwl10_2GetSectorNumberWithStartAddr_ogm(uint8_t manufacturerId, uint8_t deviceId,
                                            uint32_t offset, uint32_t* sector);
int dwl10_3GetSectorList(uint8_t manufacturerId, uint8_t deviceId, uint32_t offset, uint32_t length,
                         SectorList* list);
int dwl10_4GetSectorBank(uint8_t manufacturerId, uint8_t deviceId, uint16_t sector, uint8_t* bank);
int dwl10_5GetFlashSize(uint8_t manufacturerId, uint8_t deviceId, uint32_t* size);
// manufacturerName and deviceName: caller buffers of at least 15 characters.
int dwl10_6GetManufacturerAndFlashName(uint8_t manufacturerId, uint8_t deviceId,
                                       char* manufacturerName, char* deviceName);

// Sector geometry of the identified flash, answered from its description.
#include "flash/dwl10fla.h"

#include <cstdio>
#include <cstring>

// The description of a chip, or nullptr (15) when none carries both bytes.
static const FlashDescription* dwl10_30FindFlash(uint8_t manufacturerId, uint8_t deviceId) {
    uint8_t index = 0;
    if (dwl10_500GetFlashIndex(manufacturerId, deviceId, &index) != 1) return nullptr;
    return &vg_FlashDescritpion.Flash[index];
}

// The sectors a query may look at: never more than the table holds.
static uint32_t dwl10_31SectorCount(const FlashDescription* flash) {
    return flash->NbSectors < DWL_MAX_SECTORS ? flash->NbSectors : DWL_MAX_SECTORS;
}

bool dwl10_7SectorSizeExists(uint32_t size) {
    return size != 0 && (size & (size - 1)) == 0;
}

int dwl10_8CheckSectorSizes(uint8_t manufacturerId, uint8_t deviceId, char* text, unsigned size) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    if (flash->BadSizeLine == 0) return 1;
    if (text != nullptr && size > 0)
        snprintf(text, size,
                 "FLASH DESCRIPTION : line %u of flash.txt: sector size %u is not a power of two",
                 (unsigned)flash->BadSizeLine, (unsigned)flash->BadSize);
    return DWL_FLASH_BAD_SECTOR_SIZE;
}

int dwl10_1GetNumberOfSector(uint8_t manufacturerId, uint8_t deviceId, uint32_t* count) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    if (flash->BadSizeLine != 0) return DWL_FLASH_BAD_SECTOR_SIZE;
    *count = dwl10_31SectorCount(flash);
    return 1;
}

int dwl10_0GetSectorSize(uint8_t manufacturerId, uint8_t deviceId, uint32_t sector,
                         uint32_t* size) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    if (flash->BadSizeLine != 0) return DWL_FLASH_BAD_SECTOR_SIZE;
    if (sector >= dwl10_31SectorCount(flash)) return 19;
    *size = flash->Sector[sector].Size;
    return 1;
}

// Walks the sectors from 0: the first sector whose start is at or after offset. exact: the
// answer stands only when a sector starts exactly there. The sums are kept in 64 bits so that
// a description whose sizes add up beyond 4 GB cannot wrap round.
static int dwl10_32SectorAtOffset(const FlashDescription* flash, uint32_t offset, bool exact,
                                  uint32_t* sector) {
    if (offset == 0) {
        *sector = 0;
        return 1;
    }
    uint32_t count = dwl10_31SectorCount(flash);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < count; i++) {
        sum += flash->Sector[i].Size;
        if (sum >= offset) {
            *sector = i + 1;
            if (exact && sum != offset) return 18;
            return 1;
        }
    }
    return 18;
}

int dwl10_2GetSectorNumberWithStartAddr(uint8_t manufacturerId, uint8_t deviceId, uint32_t offset,
                                        uint32_t* sector) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    return dwl10_32SectorAtOffset(flash, offset, false, sector);
}

int dwl10_2GetSectorNumberWithStartAddr_ogm(uint8_t manufacturerId, uint8_t deviceId,
                                            uint32_t offset, uint32_t* sector) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    return dwl10_32SectorAtOffset(flash, offset, true, sector);
}

int dwl10_3GetSectorList(uint8_t manufacturerId, uint8_t deviceId, uint32_t offset, uint32_t length,
                         SectorList* list) {
    list->NbSectors = 0;
    list->TotalSize = 0;
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    uint32_t sector = 0;
    if (dwl10_32SectorAtOffset(flash, offset, false, &sector) != 1) return 18;
    uint32_t count = dwl10_31SectorCount(flash);
    uint64_t covered = 0;
    while (covered < length) {
        if (sector >= count) return 20;
        list->Sector[list->NbSectors] = sector;
        list->NbSectors++;
        covered += flash->Sector[sector].Size;
        sector++;
    }
    list->TotalSize = (uint32_t)covered;
    return 1;
}

int dwl10_4GetSectorBank(uint8_t manufacturerId, uint8_t deviceId, uint16_t sector, uint8_t* bank) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    // A sector beyond the description has no bank: answered as for its size.
    if (sector >= dwl10_31SectorCount(flash)) return 19;
    *bank = flash->Sector[sector].Bank;
    return 1;
}

int dwl10_5GetFlashSize(uint8_t manufacturerId, uint8_t deviceId, uint32_t* size) {
    *size = 0;
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    uint32_t count = dwl10_31SectorCount(flash);
    for (uint32_t i = 0; i < count; i++)
        *size += flash->Sector[i].Size;
    return 1;
}

int dwl10_6GetManufacturerAndFlashName(uint8_t manufacturerId, uint8_t deviceId,
                                       char* manufacturerName, char* deviceName) {
    const FlashDescription* flash = dwl10_30FindFlash(manufacturerId, deviceId);
    if (flash == nullptr) return 15;
    // The names are copied with their NUL, and never more than their 15 characters.
    memcpy(manufacturerName, flash->ManufacturerName, sizeof flash->ManufacturerName);
    manufacturerName[sizeof flash->ManufacturerName - 1] = '\0';
    memcpy(deviceName, flash->DeviceName, sizeof flash->DeviceName);
    deviceName[sizeof flash->DeviceName - 1] = '\0';
    return 1;
}

#include "flash/dwl10sectormap.h"

#include "session/dwl_context.h"

SectorMap sg_SectorMap;

void dwl10_80ResetSectorMap() {
    const uint32_t changes = sg_SectorMap.Changes;
    sg_SectorMap.NbSectors = 0;
    sg_SectorMap.Changes = changes + 1;
}

int dwl10_81SetSectorMapFlash(uint8_t manufacturerId, uint8_t deviceId) {
    dwl10_80ResetSectorMap();
    uint32_t count = 0;
    int step = dwl10_1GetNumberOfSector(manufacturerId, deviceId, &count);
    if (step != 1) return step;
    if (count > DWL_MAX_SECTORS) count = DWL_MAX_SECTORS;
    uint32_t address = DWL_FLASH_BASE;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        step = dwl10_0GetSectorSize(manufacturerId, deviceId, i, &size);
        if (step != 1) return step;
        sg_SectorMap.Sector[i] =
            SectorRecord{address, size, 0, 0, SECTOR_UNTOUCHED, SECTOR_NO_IMAGE};
        address += size;
    }
    sg_SectorMap.NbSectors = count;
    ++sg_SectorMap.Changes;
    return 1;
}

void dwl10_82MarkSectorRange(uint8_t image, uint32_t address, uint32_t length) {
    if (length == 0) return;
    const uint64_t end = static_cast<uint64_t>(address) + length;
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        SectorRecord& s = sg_SectorMap.Sector[i];
        const uint64_t sectorEnd = static_cast<uint64_t>(s.Address) + s.Size;
        if (s.Address < end && sectorEnd > address) s.Image = image;
    }
    ++sg_SectorMap.Changes;
}

SectorRecord* dwl10_86FindSector(uint32_t address) {
    // The records are in address order.
    uint32_t low = 0;
    uint32_t high = sg_SectorMap.NbSectors;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        SectorRecord& s = sg_SectorMap.Sector[middle];
        if (s.Address == address) return &s;
        if (s.Address < address)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

void dwl10_83SectorTry(uint32_t address, uint32_t count) {
    SectorRecord* s = dwl10_86FindSector(address);
    if (s == nullptr) return;
    if (s->Tries < 0xFF) ++s->Tries;
    s->BytesSent = count;
    s->State = SECTOR_WRITING;
    ++sg_SectorMap.Changes;
}

void dwl10_84SectorWritten(uint32_t address) {
    SectorRecord* s = dwl10_86FindSector(address);
    if (s == nullptr) return;
    s->State = s->Tries > 1 ? SECTOR_RESENT : SECTOR_WRITTEN;
    ++sg_SectorMap.Changes;
}

namespace {

// The run ended while sectors were being written: they end in the given state.
void endSectorsWriting(uint8_t state) {
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i)
        if (sg_SectorMap.Sector[i].State == SECTOR_WRITING) sg_SectorMap.Sector[i].State = state;
    ++sg_SectorMap.Changes;
}

} // namespace

void dwl10_85SectorRunFailed() {
    endSectorsWriting(SECTOR_FAILED);
}

void dwl10_88SectorRunCancelled() {
    endSectorsWriting(SECTOR_CANCELLED);
}

const char* dwl10_87SectorStateName(uint8_t state) {
    switch (state) {
    case SECTOR_UNTOUCHED: return "untouched";
    case SECTOR_WRITING: return "writing";
    case SECTOR_WRITTEN: return "written";
    case SECTOR_RESENT: return "resent";
    case SECTOR_FAILED: return "failed";
    case SECTOR_CANCELLED: return "cancelled";
    default: return "?";
    }
}

const char* dwl10_88TriesWord(unsigned tries) {
    return tries == 1 ? "try" : "tries";
}

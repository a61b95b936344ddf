// The image ranges of a run on the sector map.
#include "procedure/dwl3_run.h"
#include "procedure/dwl3spm87.h"

#include "flash/dwl10sectormap.h"

void dwl3_13MarkImageRanges(const DownloadContext& context, uint8_t procedure) {
    if (dwl3_17RunWrites(context, procedure, DWL_IMAGE_BINARY))
        dwl10_82MarkSectorRange(SECTOR_BINARY, DWL_FLASH_BASE, context.Cla.Size);

    const uint32_t ogmStart =
        dwl3_2OgmStartAddress(sg_DownloadContext.Model, sg_DownloadContext.FlashDeviceId);
    uint64_t tfsStart = ogmStart;
    // An ogm image that the run holds lies below the file system, written now or not.
    if (dwl3_15ProcedureRunsStep(procedure, context.Mode, DWL_IMAGE_OGM) && ogmStart != 0 &&
        dwl3_5ImageHeld(context, DWL_IMAGE_OGM)) {
        if (dwl3_17RunWrites(context, procedure, DWL_IMAGE_OGM))
            dwl10_82MarkSectorRange(SECTOR_OGM, ogmStart, context.Ogm.Size);
        tfsStart = static_cast<uint64_t>(ogmStart) + context.Ogm.Size;
    }
    const bool tfs = dwl3_17RunWrites(context, procedure, DWL_IMAGE_TFS_OGM);
    if (!tfs || tfsStart == 0 || sg_SectorMap.NbSectors == 0) return;
    // The handset places its file system itself; the PC only knows that it is kept above the
    // ogm image, in the sectors from the next boundary to the end of the flash.
    const SectorRecord& last = sg_SectorMap.Sector[sg_SectorMap.NbSectors - 1];
    const uint32_t flashEnd = last.Address + last.Size;
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        const SectorRecord& s = sg_SectorMap.Sector[i];
        if (s.Address >= tfsStart) {
            dwl10_82MarkSectorRange(SECTOR_TFS, s.Address, flashEnd - s.Address);
            break;
        }
    }
}

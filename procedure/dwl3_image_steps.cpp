// Image steps: which image goes where in the handset's address space, and the elapsed time
// after each image that went in.
#include "procedure/dwl3_image_steps.h"
#include "procedure/dwl3_modes.h"

#include "command/dwl11command.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"
#include "link/rs232_cancel.h"
#include "session/dwl_clock.h"
#include "session/dwl_image_step.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cstdio>

namespace {

constexpr int32_t kFamilyFlash = 2;
constexpr int32_t kCodeNoSectorThere = 18;
constexpr int32_t kFamilyTfsImageSize = 18;

// Flash offset of the ogm image by product model.
constexpr uint32_t kOgmOffsetModel0 = 0x00BB0000u;
constexpr uint32_t kOgmOffsetModel1 = 0x00A00000u;
constexpr uint32_t kOgmOffsetModel1SmallFlash = 0x00800000u;
constexpr uint32_t kOgmOffsetModel2 = 0x00E00000u;
constexpr uint8_t kSmallFlashDevice = 0xE0;

// What a step that has nothing to write logs, by image.
struct SkippedStepText {
    const char* NotLoaded;
    const char* Empty;
};
const SkippedStepText a_SkippedStepTexts[DWL_NB_IMAGES] = {
    {"Binary file not loaded : step skipped", "Binary file empty : step skipped"},
    {"Ogm file not loaded : step skipped", "Ogm file empty : step skipped"},
    {"TFS ogm file not loaded : step skipped", "TFS ogm file empty : step skipped"},
};

// After the transfer: the end of the image on the sector map and for the progress meters, and
// after an image that went in the running elapsed time since the start of the run.
ResultRecord finishStep(DownloadContext& context, ResultRecord result) {
    dwl_ImageStepEnd(result.family == 0);
    if (result.family != 0) {
        // The sector in progress failed, unless the operator stopped the run there.
        if (rs232_Cancelled())
            dwl10_88SectorRunCancelled();
        else
            dwl10_85SectorRunFailed();
        return result;
    }
    context.EndTime = dwl_Time();
    dwl3_4ShowElapsedTime(context.StartTime, context.EndTime);
    result.family = 0;
    return result;
}

} // namespace

void dwl3_4ShowElapsedTime(uint32_t startTime, uint32_t endTime) {
    const uint32_t elapsed = endTime - startTime;
    char text[48];
    std::snprintf(text, sizeof text, "%u min %u sec", elapsed / 60, elapsed % 60);
    SetCtrlAttribute(v_Panel, PANEL_ELAPSED_TIME, ATTR_LABEL_TEXT, text);
}

uint32_t dwl3_2OgmStartAddress(int32_t model, uint8_t flashDeviceId) {
    switch (model) {
    case 0: return DWL_FLASH_BASE + kOgmOffsetModel0;
    case 1:
        return DWL_FLASH_BASE +
               (flashDeviceId == kSmallFlashDevice ? kOgmOffsetModel1SmallFlash : kOgmOffsetModel1);
    case 2: return DWL_FLASH_BASE + kOgmOffsetModel2;
    default: return 0; // no ogm place known for this model
    }
}

void dwl3_6LogImageSkipped(const DownloadContext& context, uint8_t image) {
    if (image >= DWL_NB_IMAGES) return;
    // A loaded file of 0 bytes has a buffer but nothing to write.
    const bool loaded = dwl3_18ImageSlot(context, image).Data != nullptr;
    const SkippedStepText& text = a_SkippedStepTexts[image];
    dwl50_1AddComment(loaded ? text.Empty : text.NotLoaded);
}

ResultRecord dwl3_1DownloadSoftware(DownloadContext context) {
    ResultRecord result = {0, 0};
    if (!dwl3_5ImageHeld(context, DWL_IMAGE_BINARY)) {
        dwl3_6LogImageSkipped(context, DWL_IMAGE_BINARY);
        return result;
    }
    dwl_ImageStepBegin(DWL_IMAGE_BINARY, context.Cla.Size);
    result = dwl11_54Download(context, context.Cla.Size, context.Cla.Data, DWL_FLASH_BASE);
    return finishStep(context, result);
}

ResultRecord dwl3_1DownloadSoftware_ogm(DownloadContext context) {
    ResultRecord result = {0, 0};
    if (!dwl3_5ImageHeld(context, DWL_IMAGE_OGM)) {
        dwl3_6LogImageSkipped(context, DWL_IMAGE_OGM);
        return result;
    }
    const uint32_t start =
        dwl3_2OgmStartAddress(sg_DownloadContext.Model, sg_DownloadContext.FlashDeviceId);
    if (start == 0) return {kFamilyFlash, kCodeNoSectorThere};
    dwl_ImageStepBegin(DWL_IMAGE_OGM, context.Ogm.Size);
    result = dwl11_54Download(context, context.Ogm.Size, context.Ogm.Data, start);
    return finishStep(context, result);
}

ResultRecord dwl3_1DownloadSoftware_TFS_ogm(DownloadContext context) {
    ResultRecord result = {0, 0};
    if (!dwl3_5ImageHeld(context, DWL_IMAGE_TFS_OGM)) {
        dwl3_6LogImageSkipped(context, DWL_IMAGE_TFS_OGM);
        return result;
    }
    if (context.TfsOgm.Size < vg_TFSDescritpion.TotalSize) {
        dwl50_1AddComment("ERROR : The size of the TFS OGM File is Wrong");
        return {kFamilyTfsImageSize, kFamilyTfsImageSize};
    }
    dwl_ImageStepBegin(DWL_IMAGE_TFS_OGM, vg_TFSDescritpion.TotalSize);
    result = dwl11_54Download_TFS_ogm(context, context.TfsOgm.Size, context.TfsOgm.Data,
                                      DWL_FLASH_BASE, 0);
    return finishStep(context, result);
}

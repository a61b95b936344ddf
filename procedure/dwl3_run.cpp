// The parts every download procedure shares: link preparation, sector walk, image steps as a
// run strings them together, and the end of the run.
#include "procedure/dwl3_run.h"

#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "link/rs232_cancel.h"
#include "session/dwl_clock.h"
#include "uis/dwl_oplog.h"

namespace {
constexpr int32_t kFamilyNotPerformed = 1;
constexpr int32_t kFamilyFlash = 2;
constexpr int32_t kFamilyCommand = 8;
} // namespace

ResultRecord dwl3_8PrepareLink(const DownloadContext& context) {
    int step = dwl11_8SetGPIO(context);
    if (step != DWL_STEP_OK) return {kFamilyCommand, step};
    step = dwl11_0SetSpeedAndPMU(context);
    if (step != DWL_STEP_OK) return {kFamilyCommand, step};
    return {0, 0};
}

ResultRecord dwl3_9SectorWalk(const DownloadContext& context) {
    uint32_t count = 0;
    int step = dwl10_1GetNumberOfSector(context.FlashManufacturerId, context.FlashDeviceId, &count);
    if (step != DWL_STEP_OK) return {kFamilyFlash, step};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        step = dwl10_0GetSectorSize(context.FlashManufacturerId, context.FlashDeviceId, i, &size);
        if (step != DWL_STEP_OK) return {kFamilyFlash, step};
    }
    return {0, 0};
}

bool dwl3_7RunImageStep(const DownloadContext& context, uint8_t procedure, uint8_t image,
                        const char* announce, ResultRecord* result) {
    if (!dwl3_15ProcedureRunsStep(procedure, context.Mode, image)) return true;
    if (context.DownloadType != 0 && dwl3_16StepObeysDownloadType(procedure, image)) {
        *result = {kFamilyNotPerformed, 0};
        return true;
    }
    dwl50_1AddComment(announce);
    if (!dwl3_5ImageHeld(context, image)) {
        dwl3_6LogImageSkipped(context, image);
        return true;
    }
    switch (image) {
    case DWL_IMAGE_BINARY: *result = dwl3_1DownloadSoftware(context); break;
    case DWL_IMAGE_OGM: *result = dwl3_1DownloadSoftware_ogm(context); break;
    case DWL_IMAGE_TFS_OGM: *result = dwl3_1DownloadSoftware_TFS_ogm(context); break;
    }
    return result->family == 0;
}

ResultRecord dwl3_10EndOfRun(DownloadContext context, ResultRecord result,
                             const char* successLine) {
    context.EndTime = dwl_Time();
    dwl3_4ShowElapsedTime(context.StartTime, context.EndTime);
    // A run the operator stopped ends on the word of the stop alone, which its command logs.
    if (!rs232_Cancelled()) {
        if (result.family == 0 && context.Pmu == 0)
            dwl50_1AddComment(successLine);
        else
            dwl50_1AddComment("Remove the battery of the mobile ");
    }
    if (result.family == 0) {
        int step = dwl11_7SwitchOffCommand(static_cast<uint8_t>(context.ComPort));
        if (step != DWL_STEP_OK) result = {kFamilyCommand, step};
    }
    return result;
}

// The download procedures: from the link set-up after the boot to the switch-off, for the
// binary runs, the ogm runs and the TFS ogm runs (or the flash format).
#include "procedure/dwl3spm87.h"

#include "procedure/dwl3_run.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

int v_PanelFormat = 0;

namespace {

constexpr int32_t kFamilyCommand = 8;

void clearElapsedTime() {
    SetCtrlAttribute(v_Panel, PANEL_ELAPSED_TIME, ATTR_LABEL_TEXT, " ");
}

} // namespace

ResultRecord dwl3_0Generic5087(DownloadContext context) {
    clearElapsedTime();
    ResultRecord result = dwl3_8PrepareLink(context);
    if (result.family != 0) return result;
    result = dwl3_9SectorWalk(context);
    if (result.family != 0) return result;
    dwl50_1AddComment("Check the compatibility");

    // The mode is the shared context's.
    context.Mode = sg_DownloadContext.Mode;
    dwl3_13MarkImageRanges(context, DWL3_PROC_BINARY);
    bool going = dwl3_7RunImageStep(context, DWL3_PROC_BINARY, DWL_IMAGE_BINARY,
                                    "Download binary sector by sector", &result);
    if (going)
        going = dwl3_7RunImageStep(context, DWL3_PROC_BINARY, DWL_IMAGE_OGM,
                                   "Download ogm sector by sector", &result);
    if (going)
        dwl3_7RunImageStep(context, DWL3_PROC_BINARY, DWL_IMAGE_TFS_OGM,
                           "Download   TFS sector by sector", &result);
    return dwl3_10EndOfRun(context, result, "The end");
}

ResultRecord dwl3_0Generic5087_ogm(DownloadContext context) {
    clearElapsedTime();
    ResultRecord result = dwl3_8PrepareLink(context);
    if (result.family != 0) return result;
    result = dwl3_9SectorWalk(context);
    if (result.family != 0) return result;
    dwl50_1AddComment("Check the compatibility");
    dwl3_13MarkImageRanges(context, DWL3_PROC_OGM);

    const bool going = dwl3_7RunImageStep(context, DWL3_PROC_OGM, DWL_IMAGE_OGM,
                                          "Download ogm sector by sector", &result);
    if (going)
        dwl3_7RunImageStep(context, DWL3_PROC_OGM, DWL_IMAGE_TFS_OGM,
                           "Download   TFS Ogm sector by sector", &result);
    return dwl3_10EndOfRun(context, result, "The end");
}

ResultRecord dwl3_0Generic5087_TFS_ogm(DownloadContext context) {
    clearElapsedTime();
    ResultRecord result = dwl3_8PrepareLink(context);
    if (result.family != 0) return result;
    dwl50_1AddComment("Check the compatibility");

    if (v_Format_Flag == 1) {
        v_Format_Flag = 0;
        v_PanelFormat = LoadPanel(0, "mmi.uir", 2);
        if (v_PanelFormat > 0) DisplayPanel(v_PanelFormat);
        const int step = dwl3_11FormatFlash(context.ComPort);
        if (v_PanelFormat > 0) DiscardPanel(v_PanelFormat);
        v_PanelFormat = 0;
        if (step != DWL_STEP_OK) return {kFamilyCommand, step};
        return {0, 0};
    }

    dwl3_13MarkImageRanges(context, DWL3_PROC_TFS_OGM);
    dwl3_7RunImageStep(context, DWL3_PROC_TFS_OGM, DWL_IMAGE_TFS_OGM,
                       "Download TFS_ogm file sector by sector", &result);
    return dwl3_10EndOfRun(context, result, "The End");
}

ResultRecord dwl3_3RunProcedure(uint8_t procedure, const DownloadContext& context) {
    switch (procedure) {
    case DWL3_PROC_OGM: return dwl3_0Generic5087_ogm(context);
    case DWL3_PROC_TFS_OGM: return dwl3_0Generic5087_TFS_ogm(context);
    default: return dwl3_0Generic5087(context);
    }
}

void dwl3_ResetRunTime() {
    v_Format_Flag = 0;
    v_PanelFormat = 0;
}

// The mode table and what a run of each mode writes.
#include "procedure/dwl3_modes.h"

#include "flash/dwl10tfs.h"

uint8_t v_Format_Flag = 0;

// clang-format off
const DownloadMode a_DownloadModes[DWL3_NB_MODES] = {
    //                                    writes binary, ogm, TFS   needs binary, ogm, TFS
    {"binary+ogm", DWL3_PROC_BINARY,  {true,  true,  false},      {true,  true,  false}},
    {"binary",     DWL3_PROC_BINARY,  {true,  false, false},      {true,  false, false}},
    {"ogm",        DWL3_PROC_OGM,     {false, true,  false},      {false, true,  false}},
    {"tfs",        DWL3_PROC_TFS_OGM, {false, false, true},       {false, false, true}},
    {"ogm+tfs",    DWL3_PROC_OGM,     {false, true,  true},       {false, true,  false}},
    {"all",        DWL3_PROC_BINARY,  {true,  true,  true},       {true,  false, false}},
    {"binary+tfs", DWL3_PROC_BINARY,  {true,  false, true},       {true,  false, true}},
};
// clang-format on

namespace {

// The image each procedure begins with; it writes images in the order of DwlImage.
constexpr uint8_t a_ProcedureFirstImage[] = {DWL_IMAGE_BINARY, DWL_IMAGE_OGM, DWL_IMAGE_TFS_OGM};

constexpr ImageSlot kNoImage = {-1, nullptr, 0};

} // namespace

const DownloadMode* dwl3_14Mode(int32_t mode) {
    return mode >= 0 && mode < DWL3_NB_MODES ? &a_DownloadModes[mode] : nullptr;
}

bool dwl3_15ProcedureRunsStep(uint8_t procedure, int32_t mode, uint8_t image) {
    if (procedure > DWL3_PROC_TFS_OGM || image >= DWL_NB_IMAGES) return false;
    const uint8_t first = a_ProcedureFirstImage[procedure];
    if (image == first) return true;
    const DownloadMode* m = dwl3_14Mode(mode);
    return image > first && m != nullptr && m->Writes[image];
}

bool dwl3_16StepObeysDownloadType(uint8_t procedure, uint8_t image) {
    // The TFS image of an ogm run (mode 4) goes whatever the download type.
    return !(procedure == DWL3_PROC_OGM && image == DWL_IMAGE_TFS_OGM);
}

bool dwl3_17RunWrites(const DownloadContext& context, uint8_t procedure, uint8_t image) {
    if (!dwl3_15ProcedureRunsStep(procedure, context.Mode, image)) return false;
    if (!dwl3_5ImageHeld(context, image)) return false;
    if (context.DownloadType != 0 && dwl3_16StepObeysDownloadType(procedure, image)) return false;
    // A TFS ogm run formats the flash instead while the format request stands.
    return !(procedure == DWL3_PROC_TFS_OGM && v_Format_Flag == 1);
}

bool dwl3_5ImageHeld(const DownloadContext& context, uint8_t image) {
    const ImageSlot& slot = dwl3_18ImageSlot(context, image);
    if (slot.Data == nullptr) return false;
    // A description of empty files only needs no image bytes, but a loaded image.
    if (image == DWL_IMAGE_TFS_OGM) return slot.Size > 0 || vg_TFSDescritpion.TotalSize == 0;
    return slot.Size > 0;
}

const ImageSlot& dwl3_18ImageSlot(const DownloadContext& context, uint8_t image) {
    switch (image) {
    case DWL_IMAGE_BINARY: return context.Cla;
    case DWL_IMAGE_OGM: return context.Ogm;
    case DWL_IMAGE_TFS_OGM: return context.TfsOgm;
    default: return kNoImage;
    }
}

const char* dwl3_19ImagePath(const DownloadContext& context, uint8_t image) {
    switch (image) {
    case DWL_IMAGE_BINARY: return context.ClaFile;
    case DWL_IMAGE_OGM: return context.OgmFile;
    case DWL_IMAGE_TFS_OGM: return context.TfsOgmFile;
    default: return "";
    }
}

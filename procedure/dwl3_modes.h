// The download modes: for each mode the procedure that runs it, the images it writes, the
// images the start command requires, and its name on the command line. Every place that needs
// to know what a mode does asks this table.
#pragma once

#include "session/dwl_context.h"
#include "session/dwl_image_step.h"

#include <cstdint>

// The procedures that carry a run, each named by the image it begins with.
enum Dwl3Procedure : uint8_t { DWL3_PROC_BINARY, DWL3_PROC_OGM, DWL3_PROC_TFS_OGM };

constexpr int DWL3_NB_MODES = 7;

struct DownloadMode {
    const char* Name;           // on the command line
    uint8_t Procedure;          // Dwl3Procedure
    bool Writes[DWL_NB_IMAGES]; // by DwlImage: the images a run of the mode writes when held
    bool Needs[DWL_NB_IMAGES];  // by DwlImage: the images Start requires loaded
};

extern const DownloadMode a_DownloadModes[DWL3_NB_MODES];

// The row of a mode; nullptr for a value outside 0 to 6.
const DownloadMode* dwl3_14Mode(int32_t mode);

// Whether the procedure runs the image step of the image in this mode: its own first image
// always, a later one when the mode writes it.
bool dwl3_15ProcedureRunsStep(uint8_t procedure, int32_t mode, uint8_t image);

// Whether the image step of the procedure writes only when the download type is 0.
bool dwl3_16StepObeysDownloadType(uint8_t procedure, uint8_t image);

// Whether a run of the procedure in the context's mode writes the image: the step runs, the
// image is held, the download type lets the step write, and the run is no flash format.
bool dwl3_17RunWrites(const DownloadContext& context, uint8_t procedure, uint8_t image);

// True when the context holds the image that the step of this kind needs.
bool dwl3_5ImageHeld(const DownloadContext& context, uint8_t image);

// Format request: the next TFS ogm run formats the handset's flash file system.
extern uint8_t v_Format_Flag;

// The image slot and the file path of an image of the context.
const ImageSlot& dwl3_18ImageSlot(const DownloadContext& context, uint8_t image);
const char* dwl3_19ImagePath(const DownloadContext& context, uint8_t image);

// Flash format exchange: one request byte, then the bootstrap reports each stage of the format.
#include "procedure/dwl3_run.h"

#include "link/line_step.h"
#include "link/rs232.h"
#include "session/dwl_oplog.h"

namespace {

constexpr uint8_t kFormatRequest = 0x10;
constexpr int kBadMapTableMade = 0x57;
constexpr int kFormatted = 0x44;
constexpr int kMounted = 0x91;
constexpr int kDriveSet = 0x92;
constexpr int kDirCreated = 0x93;
constexpr int kStage7 = 0x22;
constexpr int kStage8 = 0x23;
constexpr int kFormatDone = 0x20;
constexpr int kCodeFormatFailed = 22;

} // namespace

int dwl3_11FormatFlash(int port) {
    bool allRight = true;
    dwl12_SetLineStep("format");
    ComWrtByte(port, kFormatRequest);

    if (ComRdByte(port) == kBadMapTableMade) {
        dwl50_1AddComment("MakeBadMapTable OK");
    } else {
        dwl50_1AddComment("MakeBadMapTable err");
        allRight = false;
    }

    if (ComRdByte(port) == kFormatted) {
        dwl50_1AddComment("Format OK");
        if (ComRdByte(port) != kMounted) {
            allRight = false;
        } else {
            dwl50_1AddComment("Mount OK");
            if (ComRdByte(port) != kDriveSet) {
                allRight = false;
            } else {
                dwl50_1AddComment("Setdrv OK");
                if (ComRdByte(port) == kDirCreated)
                    dwl50_1AddComment("Create dir OK");
                else
                    allRight = false;
            }
        }
    } else {
        dwl50_1AddComment("Flash Formatting is fail!!1");
        allRight = false;
    }

    if (ComRdByte(port) != kStage7) {
        dwl50_1AddComment("Flash Formatting is fail!!2");
        allRight = false;
    }
    if (ComRdByte(port) != kStage8) {
        dwl50_1AddComment("Flash Formatting is fail!!3");
        allRight = false;
    }
    if (ComRdByte(port) == kFormatDone) {
        dwl50_1AddComment("Flash is Formated!!");
    } else {
        dwl50_1AddComment("Flash Formatting is fail!!4");
        allRight = false;
    }
    return allRight ? DWL_STEP_OK : kCodeFormatFailed;
}

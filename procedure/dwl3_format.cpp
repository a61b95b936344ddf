// Flash format exchange: one request byte, then the bootstrap reports each stage of the format.
#include "procedure/dwl3_run.h"

#include "link/failure_log.h"
#include "link/line_step.h"
#include "link/rs232.h"
#include "session/dwl_results.h"
#include "uis/dwl_oplog.h"

#include <cstdio>

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

// The first stage whose reply was wrong or missing; nullptr while all went right.
struct FormatOutcome {
    const char* failedStage = nullptr;
    void fail(const char* stage) {
        if (failedStage == nullptr) failedStage = stage;
    }
};

} // namespace

int dwl3_11FormatFlash(int port) {
    FormatOutcome outcome;
    dwl12_SetLineStep("format");
    ComWrtByte(port, kFormatRequest);

    if (ComRdByte(port) == kBadMapTableMade) {
        dwl50_1AddComment("MakeBadMapTable OK");
    } else {
        dwl12_LogFailure("MakeBadMapTable err");
        outcome.fail("MakeBadMapTable (0x57)");
    }

    if (ComRdByte(port) == kFormatted) {
        dwl50_1AddComment("Format OK");
        if (ComRdByte(port) != kMounted) {
            outcome.fail("Mount (0x91)");
        } else {
            dwl50_1AddComment("Mount OK");
            if (ComRdByte(port) != kDriveSet) {
                outcome.fail("Setdrv (0x92)");
            } else {
                dwl50_1AddComment("Setdrv OK");
                if (ComRdByte(port) == kDirCreated)
                    dwl50_1AddComment("Create dir OK");
                else
                    outcome.fail("Create dir (0x93)");
            }
        }
    } else {
        dwl12_LogFailure("Flash Formatting is fail!!1");
        outcome.fail("Format (0x44)");
    }

    if (ComRdByte(port) != kStage7) {
        dwl12_LogFailure("Flash Formatting is fail!!2");
        outcome.fail("stage 0x22");
    }
    if (ComRdByte(port) != kStage8) {
        dwl12_LogFailure("Flash Formatting is fail!!3");
        outcome.fail("stage 0x23");
    }
    if (ComRdByte(port) == kFormatDone) {
        dwl50_1AddComment("Flash is Formated!!");
    } else {
        dwl12_LogFailure("Flash Formatting is fail!!4");
        outcome.fail("Formated (0x20)");
    }
    if (outcome.failedStage == nullptr) return DWL_STEP_OK;
    // Named last, so that the log does not end on a success line beside a failure window.
    char line[80];
    snprintf(line, sizeof line, "Flash format failed : no %s reply", outcome.failedStage);
    dwl12_LogFailure(line);
    return DWL_CODE_FORMAT_FAILED;
}

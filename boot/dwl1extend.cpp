// The extension module (dwl88.spm), sent to the bootstrap over the fast link.
#include "boot/dwl1boot.h"

#include "boot/dwl1line.h"
#include "link/dwl12pclib.h"
#include "link/failure_log.h"
#include "link/line_step.h"
#include "link/rs232.h"
#include "uis/dwl_oplog.h"

namespace {
constexpr int kExtensionProduct = 255;
constexpr uint8_t kExtensionCommand = 0xEE;
constexpr uint8_t kAccepted = 0xC0;
constexpr uint8_t kModuleRunning = 0x63;
constexpr uint32_t kPiece = 8192;

uint8_t moduleImage[DWL_SPM_BUFFER_SIZE];

// A wrong answer is reported as the byte itself; the byte 0x01 would read as success.
int wrongAnswer(uint8_t byte) {
    return byte == 1 ? 0x100 + byte : byte;
}

void sendPiece(uint8_t port, const uint8_t* bytes, uint32_t count) {
    ComWrt(port, bytes, static_cast<int>(count));
    dwl1_61WaitOutQueueEmpty(port, true);
}
} // namespace

int dwl1_4DownloadExtendMobule(uint8_t port) {
    uint32_t length = 0;
    int rc = dwl12_4LoadSpmFile(&length, moduleImage, kExtensionProduct);
    if (rc != 1) {
        dwl50_1AddComment("COMMAND : cannot load the extension module");
        return rc;
    }

    dwl12_SetLineStep("extension module");
    ComWrtByte(port, kExtensionCommand);
    uint8_t answer = dwl1_60ReadAnswer(port);
    if (answer != kAccepted) {
        dwl12_LogFailureF("COMMAND : extension module refused (0x%02X)", answer);
        return wrongAnswer(answer);
    }
    for (int i = 0; i < 4; ++i)
        dwl1_60ReadAnswer(port);

    uint32_t sent = 0;
    while (length - sent >= kPiece) {
        sendPiece(port, moduleImage + sent, kPiece);
        sent += kPiece;
    }
    if (length > sent) sendPiece(port, moduleImage + sent, length - sent);

    answer = dwl1_60ReadAnswer(port);
    if (answer == kModuleRunning) return 1;
    dwl12_LogFailureF("COMMAND : extension module not started (0x%02X)", answer);
    return wrongAnswer(answer);
}

// The boot sequence: wake the ROM boot loader, configure the chip selects, upload and start the
// bootstrap, wait for it to run and let it identify the flash.
#include "boot/dwl1boot.h"

#include "boot/dwl1line.h"
#include "flash/dwl10sectormap.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/failure_log.h"
#include "link/line_step.h"
#include "link/line_trace.h"
#include "link/rs232.h"
#include "session/dwl_image_step.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

int v_PanelTurnOn = 0;

namespace {
constexpr long kBootBaud = 38400;
constexpr int kEvenParity = 2;
constexpr unsigned kBootTimeoutSeconds = 5;

constexpr uint8_t kBootLoaderReady = 0xBE;
constexpr uint8_t kWakeUpAnswer = 0x44;
constexpr uint8_t kBootstrapHello = 0x44;
constexpr uint8_t kBootstrapRuns = 0xA0;

constexpr int32_t kFamilyPcLib = 5;
constexpr int32_t kFamilyBoot = 6;
constexpr int32_t kBootTooLong = 3;
constexpr int32_t kBootWakeUpTimeout = 4;
constexpr int32_t kBootNotRunning = 11;
constexpr int32_t kBootNoHello = 0x000A0000;
// The further reads while waiting for the bootstrap's hello are counted in one byte; the wait
// ends when the count is full, so a handset that never stops talking cannot hold the PC.
constexpr uint8_t kMaxHelloReads = 0xFF;

// Bootstrap image of the run (file bytes and the trailing byte of the loader).
uint8_t bootImage[DWL_SPM_BUFFER_SIZE];

ResultRecord fail(int32_t family, int32_t code) {
    return ResultRecord{family, code};
}
} // namespace

ResultRecord dwl1_0boot(DownloadContext* context) {
    ResultRecord result = {0, 0};
    if (!context) return fail(kFamilyBoot, 0);
    const uint8_t port = static_cast<uint8_t>(context->ComPort);
    dwl12_TraceRunStart();
    dwl10_80ResetSectorMap();

    int rc = dwl12_0UartInit(context->ComPort, kBootBaud, kEvenParity, kBootTimeoutSeconds);
    if (rc != 1) {
        const std::string name = dwl_ComPortName(context->ComPort);
        const std::string device = dwl_ComDevicePath(context->ComPort);
        dwl50_2AddCommentF("BOOT : cannot open %s%s%s: %s (%d)", name.c_str(),
                           device == name ? "" : " ", device == name ? "" : device.c_str(),
                           GetRS232ErrorString(rc), rc);
        return fail(kFamilyPcLib, rc);
    }

    uint32_t length = 0;
    rc = dwl12_4LoadSpmFile(&length, bootImage, context->ProductType);
    if (rc != 1) {
        dwl50_1AddComment("BOOT : cannot load the bootstrap");
        if (rc == 3) dwl50_1AddComment(dwl12_9SpmProblem(context->ProductType).c_str());
        return fail(kFamilyPcLib, rc);
    }
    if (length > DWL_MAX_BOOT_FRAME) {
        dwl50_2AddCommentF("BOOT : bootstrap of %u bytes, at most %u fit in the upload",
                           static_cast<unsigned>(length),
                           static_cast<unsigned>(DWL_MAX_BOOT_FRAME));
        return fail(kFamilyBoot, kBootTooLong);
    }

    dwl12_SetLineStep("wake-up");
    ComSetEscape(port, SETDTR);
    do {
        context->BootAck = dwl1_60ReadAnswer(port);
    } while (context->BootAck != kBootLoaderReady && context->BootAck != DWL_NO_ANSWER);
    if (context->BootAck == kBootLoaderReady) dwl_ImageStepAwake();
    ComWrtByte(port, kWakeUpAnswer);
    // DTR is a line state and changes at once, while the answer may still sit in the output
    // queue: let it leave first, so that the boot loader sees 0x44 before DTR drops.
    dwl1_61WaitOutQueueEmpty(port, false);
    ComSetEscape(port, CLRDTR);
    if (context->BootAck == DWL_NO_ANSWER) {
        dwl12_LogFailure("BOOT : no answer from the boot loader");
        return fail(kFamilyBoot, kBootWakeUpTimeout);
    }

    rc = dwl1_1ConfigurationBootstrap(port, context->ProductType, context->WaitState, bootImage,
                                      length);
    if (rc != 1) {
        dwl50_1AddComment("BOOT : no chip select configuration for this product");
        return fail(kFamilyBoot, rc);
    }

    uint8_t answer = dwl1_60ReadAnswer(port);
    if (answer != kBootstrapHello) {
        uint8_t reads = 0;
        do {
            answer = dwl1_60ReadAnswer(port);
            ++reads;
        } while (answer != kBootstrapHello && answer != DWL_NO_ANSWER && reads < kMaxHelloReads);
        if (answer != kBootstrapHello) {
            dwl12_LogFailureF("BOOT : the bootstrap did not answer (0x%02X)", answer);
            return fail(kFamilyBoot, kBootNoHello + reads * 256 + answer);
        }
    }

    answer = dwl1_60ReadAnswer(port);
    DiscardPanel(v_PanelTurnOn);
    if (answer != kBootstrapRuns) {
        dwl12_LogFailureF("BOOT : the bootstrap does not run (0x%02X)", answer);
        return fail(kFamilyBoot, kBootNotRunning);
    }
    dwl1_60ReadAnswer(port);
    dwl1_60ReadAnswer(port);

    rc = dwl1_3GetTypeFlash(context);
    if (rc != 1) return fail(kFamilyBoot, rc);
    dwl10_81SetSectorMapFlash(context->FlashManufacturerId, context->FlashDeviceId);
    // A description no run may write with: the log names its line before the run refuses it.
    char problem[100];
    if (dwl10_8CheckSectorSizes(context->FlashManufacturerId, context->FlashDeviceId, problem,
                                sizeof problem) == DWL_FLASH_BAD_SECTOR_SIZE)
        dwl50_1AddComment(problem);
    return result;
}

void dwl1_ResetRunTime() {
    v_PanelTurnOn = 0;
}

// Flash identification: the running bootstrap reports the flash's manufacturer and device codes.
#include "boot/dwl1boot.h"

#include "boot/dwl1line.h"
#include "link/failure_log.h"
#include "link/line_step.h"
#include "uis/dwl_oplog.h"

namespace {
constexpr uint8_t kIdentHeader = 0xC2;
constexpr int kBadHeader = 12;
constexpr int kIdentTimeout = 13;
constexpr int kUnknownManufacturer = 15;

enum class IdentForm { Unknown, DeviceOnly, DeviceAndExtra };

IdentForm formOf(uint8_t manufacturer) {
    switch (manufacturer) {
    case 0x89:
    case 0xB0:
    case 0x04:
    case 0x07:
    case 0x20:
    case 0x98: return IdentForm::DeviceOnly;
    case 0x01:
    case 0xEC: return IdentForm::DeviceAndExtra;
    default: return IdentForm::Unknown;
    }
}
} // namespace

int dwl1_3GetTypeFlash(DownloadContext* context) {
    const uint8_t port = static_cast<uint8_t>(context->ComPort);
    dwl12_SetLineStep("identification");

    uint8_t header = dwl1_60ReadAnswer(port);
    if (header != kIdentHeader) {
        dwl12_LogFailureF("BOOT : bad flash identification header (0x%02X)", header);
        return kBadHeader;
    }

    context->FlashManufacturerId = dwl1_60ReadAnswer(port);
    if (context->FlashManufacturerId == DWL_NO_ANSWER) {
        dwl12_LogFailure("BOOT : no flash manufacturer code");
        return kIdentTimeout;
    }

    IdentForm form = formOf(context->FlashManufacturerId);
    if (form == IdentForm::Unknown) {
        dwl12_LogFailureF("BOOT : unknown flash manufacturer 0x%02X", context->FlashManufacturerId);
        return kUnknownManufacturer;
    }

    context->FlashDeviceId = dwl1_60ReadAnswer(port);
    if (form == IdentForm::DeviceAndExtra &&
        (context->FlashDeviceId == 0xE3 || context->FlashDeviceId == 0xE4)) {
        dwl1_60ReadAnswer(port);
    }
    dwl50_2AddCommentF("Flash manufacturer 0x%02X, device 0x%02X", context->FlashManufacturerId,
                       context->FlashDeviceId);
    return 1;
}

// Frames understood by the PCF5087 ROM boot loader after its wake-up answer.
#include "boot/dwl1boot.h"

#include "link/line_step.h"
#include "link/rs232.h"

namespace {
constexpr uint8_t kAddressFrame0 = 0x00;
constexpr uint8_t kAddressFrame1 = 0x03;
constexpr uint8_t kDataFrame = 0x40;
constexpr uint8_t kStartFrame = 0x60;
constexpr uint32_t kProduct2SetupAddress = 0xFFFF8003u;
constexpr uint8_t kProduct2SetupValue = 0x70;
} // namespace

void dwl1_50SetStartAddr(uint8_t port, uint32_t address) {
    const uint8_t frame[6] = {kAddressFrame0,
                              kAddressFrame1,
                              static_cast<uint8_t>(address >> 24),
                              static_cast<uint8_t>(address >> 16),
                              static_cast<uint8_t>(address >> 8),
                              static_cast<uint8_t>(address)};
    ComWrt(port, frame, sizeof frame);
}

void dwl1_51DownloadBlock(uint8_t port, const uint8_t* bytes, uint32_t length) {
    // The header holds length - 1 in 13 bits: anything outside 1..8192 is no data frame.
    if (!bytes || length == 0 || length > DWL_MAX_BOOT_FRAME) return;
    const uint32_t last = length - 1;
    const uint8_t header[2] = {static_cast<uint8_t>(kDataFrame | (last >> 8)),
                               static_cast<uint8_t>(last & 0xFF)};
    ComWrt(port, header, sizeof header);
    ComWrt(port, bytes, static_cast<int>(length));
}

void dwl1_52JumpToStartAddress(uint8_t port) {
    const uint8_t frame[2] = {kStartFrame, 0x00};
    ComWrt(port, frame, sizeof frame);
}

void dwl1_53SetSendCommand(uint8_t port, uint8_t byte) {
    dwl1_51DownloadBlock(port, &byte, 1);
}

int dwl1_1ConfigurationBootstrap(uint8_t port, int productType, const uint8_t waitState[4],
                                 const uint8_t* image, uint32_t length) {
    const uint8_t w0 = waitState[0] & 7;
    const uint8_t w1 = waitState[1] & 7;
    const uint8_t w2 = waitState[2] & 7;
    const uint8_t w3 = waitState[3] & 7;

    uint8_t chipSelects[8];
    if (productType == 1) {
        const uint8_t bytes[8] = {0xC6, static_cast<uint8_t>(0x80 | w0), 0xCE, w1, 0xD7, w2,
                                  0xD7, static_cast<uint8_t>(0x80 | w3)};
        for (int i = 0; i < 8; ++i)
            chipSelects[i] = bytes[i];
    } else if (productType == 2) {
        const uint8_t bytes[8] = {0xC7, w0,
                                  0xD6, w1,
                                  0xC7, static_cast<uint8_t>(0x80 | w2),
                                  0x87, static_cast<uint8_t>(0xC0 | w3)};
        for (int i = 0; i < 8; ++i)
            chipSelects[i] = bytes[i];
    } else {
        return 9;
    }
    // An image the data frame cannot carry is refused before anything goes out.
    if (!image || length == 0 || length > DWL_MAX_BOOT_FRAME) return 3;

    dwl12_SetLineStep("chip selects");
    ComWrt(port, chipSelects, sizeof chipSelects);
    uint32_t frame = 1;
    if (productType == 2) {
        dwl12_SetLineStepNumber("bootstrap data frame", frame++);
        dwl1_50SetStartAddr(port, kProduct2SetupAddress);
        dwl1_53SetSendCommand(port, kProduct2SetupValue);
    }
    dwl12_SetLineStepNumber("bootstrap data frame", frame);
    dwl1_50SetStartAddr(port, 0);
    dwl1_51DownloadBlock(port, image, length);
    dwl12_SetLineStep("start");
    dwl1_50SetStartAddr(port, 0);
    dwl1_52JumpToStartAddress(port);
    return 1;
}

// Boot sequence: wake the ROM boot loader, configure the chip selects, upload and start the
// bootstrap, identify the flash; and the extension module transfer.
#pragma once

#include "session/dwl_context.h"

#include <cstdint>

// Largest bootstrap image a data frame can carry.
constexpr uint32_t DWL_MAX_BOOT_FRAME = 8192;

// Handle of the turn-on panel that the caller shows before the boot; the boot discards it once
// the bootstrap has answered.
extern int v_PanelTurnOn;
// The boot's run-time state back to a program's start: no turn-on panel.
void dwl1_ResetRunTime();

ResultRecord dwl1_0boot(DownloadContext* context);

void dwl1_50SetStartAddr(uint8_t port, uint32_t address);
void dwl1_51DownloadBlock(uint8_t port, const uint8_t* bytes, uint32_t length);
void dwl1_52JumpToStartAddress(uint8_t port);
void dwl1_53SetSendCommand(uint8_t port, uint8_t byte);
// 1, or 9 for a product type without a chip-select configuration, or 3 for an image that no
// data frame can carry (empty or above DWL_MAX_BOOT_FRAME bytes); nothing is sent on failure.
int dwl1_1ConfigurationBootstrap(uint8_t port, int productType, const uint8_t waitState[4],
                                 const uint8_t* image, uint32_t length);

// 1, 12, 13 or 15; stores the manufacturer and device codes in the context.
int dwl1_3GetTypeFlash(DownloadContext* context);
// 1; 3 or 4 from loading dwl88.spm; otherwise the unexpected byte (0x100 + byte for 0x01).
int dwl1_4DownloadExtendMobule(uint8_t port);

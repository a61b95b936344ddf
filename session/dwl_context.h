// The download context shared by every subsystem, the image slot, the result record.
#pragma once

#include <cstdint>

// One image held in memory. Data is a heap block owned by the context (malloc/free).
struct ImageSlot {
    int32_t Handle;
    uint8_t* Data;
    uint32_t Size;
};

// Result of the boot sequence, the procedures, the image steps and the transfers.
// family 0 is success whatever the code.
struct ResultRecord {
    int32_t family;
    int32_t code;
};

// Step codes: every operation below the procedures returns 1 for success.
constexpr int32_t DWL_STEP_OK = 1;

struct DownloadContext {
    int32_t Model;
    int32_t Mode;
    int32_t ComPort;
    int32_t SimLockKey;
    int32_t Pmu;
    int32_t SpeedIndex;
    int32_t DownloadType;
    int32_t ProductType;
    uint8_t WaitState[4];
    uint8_t BootAck;
    uint8_t FlashManufacturerId;
    uint8_t FlashDeviceId;
    uint32_t StartTime;
    uint32_t EndTime;
    char ClaFile[260];
    char OgmFile[260];
    char TfsOgmFile[260];
    ImageSlot Cla;
    ImageSlot Ogm;
    ImageSlot TfsOgm;
};

// The context as the program starts: zero except Model 1, ComPort 4, SpeedIndex 3, ProductType 2.
DownloadContext dwl_DefaultContext();

extern DownloadContext sg_DownloadContext;

// Template of the sector-transfer time-out result (family 13, code 0).
extern ResultRecord mv_ResultDownload;

// The shared context and the last result back to a program's start.
void dwl_ResetSession();

// Handset address of the first byte of the flash.
constexpr uint32_t DWL_FLASH_BASE = 0x02000000u;

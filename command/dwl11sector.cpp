// Sector download: writes a binary or ogm image into the handset's flash, one sector command
// per sector, each acknowledged with the 32-bit sum of the bytes the bootstrap received.
#include "command/dwl11command.h"

#include "boot/dwl1line.h"

#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "link/line_step.h"
#include "link/line_trace.h"
#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "session/dwl_clock.h"
#include "session/dwl_image_step.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cstdint>

int mv_SoftPourcent = 0;

namespace {

constexpr uint8_t kSectorCommand = 0xEA;
constexpr uint8_t kSectorDone = 0xCC;
constexpr uint8_t kSectorResend = 0xCD;
constexpr uint32_t kPieceSize = 8192;
// Ten real seconds, on the clock of durations: a clock set back or forward while a sector is
// written neither ends the wait at once nor stretches it.
constexpr double kAckWaitSeconds = 10.0;
constexpr uint8_t kMaxSectorTries = 3;
constexpr uint8_t kMaxImageFailures = 5;

// Family of the result records raised here.
constexpr int32_t kFamilyFlash = 2;
constexpr int32_t kFamilyRejected = 10;
constexpr int32_t kFamilyBadAck = 11;
constexpr int32_t kFamilyChecksum = 12;
constexpr int32_t kCodeOffsetNotStart = 18;

uint32_t byteSum(const uint8_t* bytes, uint32_t count) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

// Waits for the first acknowledgement byte, sleeping on the line in slices and letting pending
// events run between them; meanwhile the last bytes of the sector leave the port, handed bytes
// of the image in all. -1 when none came in time, the port went away or the operator cancelled.
int waitForAcknowledge(int port, uint32_t handed) {
    const double started = dwl_Now();
    int queued = 1; // until the port has let the sector's last byte go
    for (;;) {
        if (rs232_Cancelled()) return -1;
        int pending = WaitInQ(port, DWL_WAIT_SLICE_SECONDS);
        if (pending > 0) return ComRdByte(port);
        if (pending < 0) return -1; // the port is gone: nothing will ever arrive
        if (queued > 0) {
            queued = GetOutQLen(port);
            dwl_ImageStepQueued(queued, &handed);
        }
        ProcessSystemEvents();
        if (dwl_Now() - started > kAckWaitSeconds) {
            dwl12_NoteLineTimeout();
            return -1;
        }
    }
}

// Reads the 4-byte checksum, least significant byte first. False when it came short.
bool readChecksum(int port, uint32_t* checksum) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    int got = ComRd(port, bytes, 4);
    *checksum = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return got == 4;
}

void showProgress(uint32_t offset, uint32_t length) {
    if (length == 0) return;
    mv_SoftPourcent = static_cast<int>(static_cast<uint64_t>(offset) * 100u / length);
    SetCtrlVal(v_Panel, PANEL_PROGRESS_TEXT, mv_SoftPourcent);
    SetCtrlVal(v_Panel, PANEL_PROGRESS_BAR, mv_SoftPourcent);
    ProcessSystemEvents();
}

// Sends the sector command and the n bytes behind it, which follow the first `offset` bytes of
// the image; returns their sum.
uint32_t sendSector(int port, uint32_t sectorSize, uint32_t address, const uint8_t* bytes,
                    uint32_t n, uint32_t offset) {
    uint8_t command[13];
    command[0] = kSectorCommand;
    dwl1_62PutBigEndian32(command + 1, sectorSize);
    dwl1_62PutBigEndian32(command + 5, address);
    dwl1_62PutBigEndian32(command + 9, n);
    dwl12_SetLineStepAddress("sector command", address);
    ComWrt(port, command, sizeof command);
    dwl12_SetLineStepAddress("sector data", address);

    uint32_t checksum = 0;
    uint32_t sent = 0;
    uint32_t handed = offset;
    const OutQueueWatch watch = {&dwl_ImageStepQueued, &handed};
    // A run the operator stopped puts no more of the sector on the line.
    while (n - sent >= kPieceSize && !rs232_Cancelled()) {
        ComWrt(port, bytes + sent, static_cast<int>(kPieceSize));
        checksum += byteSum(bytes + sent, kPieceSize);
        sent += kPieceSize;
        handed += kPieceSize;
        dwl1_61WaitOutQueueEmpty(port, true, &watch);
    }
    if (rs232_Cancelled()) return checksum;
    uint32_t rest = n - sent;
    ComWrt(port, bytes + sent, static_cast<int>(rest));
    checksum += byteSum(bytes + sent, rest);
    return checksum;
}

} // namespace

ResultRecord dwl11_54Download(DownloadContext context, uint32_t length, const uint8_t* image,
                              uint32_t startAddress) {
    ResultRecord result = {0, 0};
    const uint8_t manufacturer = context.FlashManufacturerId;
    const uint8_t device = context.FlashDeviceId;
    const int port = context.ComPort;

    if (length > 0 && image == nullptr) return {1, 0};

    // The sector commands count addresses from the start address, the sector list from the
    // next sector boundary: only an address on a boundary keeps both in step.
    if (startAddress < DWL_FLASH_BASE) return {kFamilyFlash, kCodeOffsetNotStart};
    const uint32_t flashOffset = startAddress - DWL_FLASH_BASE;
    uint32_t firstSector = 0;
    int step =
        dwl10_2GetSectorNumberWithStartAddr_ogm(manufacturer, device, flashOffset, &firstSector);
    if (step != DWL_STEP_OK) return {kFamilyFlash, step};

    SectorList list;
    step = dwl10_3GetSectorList(manufacturer, device, flashOffset, length, &list);
    if (step != DWL_STEP_OK) return {kFamilyFlash, step};

    uint32_t offset = 0;
    uint32_t address = startAddress;
    uint8_t sectorFailures = 0;
    uint8_t imageFailures = 0;

    for (uint32_t i = 0; i < list.NbSectors; ++i) {
        uint32_t sectorSize = 0;
        step = dwl10_0GetSectorSize(manufacturer, device, list.Sector[i], &sectorSize);
        if (step != DWL_STEP_OK) return {kFamilyFlash, step};

        for (;;) {
            const uint32_t remaining = length - offset;
            const uint32_t n = sectorSize < remaining ? sectorSize : remaining;
            dwl10_83SectorTry(address, n);
            const uint32_t checksum =
                sendSector(port, sectorSize, address, image + offset, n, offset);

            dwl12_SetLineStepSum("acknowledgement", address, checksum);
            const int ack = waitForAcknowledge(port, offset + n);
            if (ack < 0) return mv_ResultDownload;

            if (ack == kSectorDone) {
                uint32_t received = 0;
                bool complete = readChecksum(port, &received);
                if (complete && received == checksum) {
                    offset += n;
                    dwl_ImageStepBytes(offset);
                    dwl10_84SectorWritten(address);
                    break;
                }
                ++sectorFailures;
                ++imageFailures;
                if (sectorFailures >= kMaxSectorTries || imageFailures >= kMaxImageFailures)
                    return {kFamilyChecksum, kSectorDone};
            } else if (ack == kSectorResend) {
                const int detail = ComRdByte(port) & 0xFF;
                ++sectorFailures;
                ++imageFailures;
                if (sectorFailures >= kMaxSectorTries || imageFailures >= kMaxImageFailures)
                    return {kFamilyRejected, detail};
            } else {
                return {kFamilyBadAck, ack};
            }
        }

        showProgress(offset, length);
        address += sectorSize;
        sectorFailures = 0;
    }
    return result;
}

void dwl11_ResetRunTime() {
    mv_SoftPourcent = 0;
}

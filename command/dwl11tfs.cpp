// TFS image transfer: the bootstrap opens the handset's TFS file system and the PC hands it the
// version, the directories and every file of the image with its data.
#include "command/dwl11command.h"

#include "boot/dwl1line.h"

#include "flash/dwl10tfs.h"
#include "link/failure_log.h"
#include "link/line_step.h"
#include "link/rs232.h"
#include "session/dwl_image_step.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cstdint>
#include <cstring>

namespace {

// Messages of the PC.
constexpr uint8_t kTfsStart = 0x44;
constexpr uint8_t kFileCount = 0x76;
constexpr uint8_t kEndOfTransfer = 0x79;

// Replies of the handset.
constexpr int kStartReady = 0x77;
constexpr int kStartMountError = 0xA1;
constexpr int kStartSetDriveError = 0xA5;
constexpr int kVersionAck = 0x72;
constexpr int kDirCountAck = 0x6F;
constexpr int kDirAck = 0x73;
constexpr int kFileHeaderAck = 0x7D;
constexpr int kDataAck = 0x7E;
constexpr int kFileClosedAck = 0x7F;
constexpr int kEndAck = 0x7A;

constexpr uint32_t kBlockSize = 8192;
constexpr int32_t kFamilyChecksum = 12;
constexpr int32_t kFamilyImageSize = 18;
constexpr int32_t kFamilyStart = 19;
constexpr int32_t kFamilyDirCount = 22;
constexpr int32_t kFamilyVersion = 23;
constexpr int32_t kFamilyDir = 24;
constexpr int32_t kFamilyEnd = 29;
constexpr int32_t kFamilyFileHeader = 31;
constexpr int32_t kFamilyData = 32;
constexpr int32_t kFamilyFileClosed = 33;

// Longest text of a log line: the line is " text " in a 100-character buffer.
constexpr size_t kLogTextMax = 97;

// Code of a failed reply about the entry of that index: the reply plus 65536 x the index.
int32_t indexedCode(int reply, uint32_t index) {
    return static_cast<int32_t>(static_cast<uint32_t>(reply) + 65536u * index);
}

// A three-byte acknowledgement: only the third read counts, as the read returned it.
int readAcknowledge(int port) {
    ComRdByte(port);
    ComRdByte(port);
    return ComRdByte(port);
}

// A one-byte reply taken as an unsigned byte (a time-out reads as 0x9D).
int readReplyByte(int port) {
    return ComRdByte(port) & 0xFF;
}

// Logs the RS-232 library's text for a wrong acknowledgement, then the failure line.
void logAckFailure(int reply, const char* line) {
    dwl12_LogFailure(GetRS232ErrorString(static_cast<int8_t>(reply)));
    dwl12_LogFailure(line);
}

// Logs "<name> O.K." for a 512-byte name field that need not hold a NUL. A name too long for
// one log line keeps its end, behind "...".
void logNameOk(const char* field) {
    static const char suffix[] = " O.K.";
    const size_t nameMax = kLogTextMax - (sizeof suffix - 1);
    const size_t length = strnlen(field, DWL_TFS_NAME_SIZE);
    char line[kLogTextMax + 1];
    size_t pos = 0;
    if (length <= nameMax) {
        std::memcpy(line, field, length);
        pos = length;
    } else {
        const size_t keep = nameMax - 3;
        std::memcpy(line, "...", 3);
        std::memcpy(line + 3, field + length - keep, keep);
        pos = nameMax;
    }
    std::memcpy(line + pos, suffix, sizeof suffix);
    dwl50_1AddComment(line);
}

void showProgress(uint32_t position, uint32_t totalSize) {
    // A description of empty files only has nothing to send: it is complete from the start.
    int percent = 100;
    if (totalSize != 0)
        percent = static_cast<int>(100.0 * static_cast<double>(position) / totalSize);
    mv_SoftPourcent = percent;
    SetCtrlVal(v_Panel, PANEL_PROGRESS_TEXT, percent);
    SetCtrlVal(v_Panel, PANEL_PROGRESS_BAR, percent);
}

// True when the description can be sent from an image of `length` bytes: its tables are there
// and its files, added up without wrapping, fit in the image.
bool descriptionFitsImage(const TfsDescription& d, uint32_t length, const uint8_t* image) {
    if (d.NbDir > 0 && d.DirNames == nullptr) return false;
    if (d.NbFiles > 0 && d.Files == nullptr) return false;
    if (d.NbFiles > d.MaxFiles) return false;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < d.NbFiles; ++i)
        sum += d.Files[i].FileSize;
    if (sum != d.TotalSize) return false;
    if (sum > length) return false;
    return sum == 0 || image != nullptr;
}

} // namespace

ResultRecord dwl11_54Download_TFS_ogm(DownloadContext context, uint32_t length,
                                      const uint8_t* image, uint32_t, uint8_t) {
    ResultRecord result = {0, 0};
    const int port = context.ComPort;
    const TfsDescription& d = vg_TFSDescritpion;
    uint32_t position = 0;
    uint32_t sum = 0;
    // The file bytes given to the port so far, for the image step's progress.
    const OutQueueWatch watch = {&dwl_ImageStepQueued, &position};

    if (!descriptionFitsImage(d, length, image)) {
        dwl50_1AddComment("ERROR : The size of the TFS OGM File is Wrong");
        return {kFamilyImageSize, kFamilyImageSize};
    }

    dwl50_1AddComment("Starting TFS OGM Downloading..");

    dwl12_SetLineStep("TFS start");
    ComWrtByte(port, kTfsStart);
    int reply = readReplyByte(port);
    if (reply == kStartMountError) {
        dwl50_1AddComment("TFS Mount Error");
        int error = readReplyByte(port);
        dwl50_2AddCommentF("Mount ERR: %d", error);
        return {kFamilyStart, error};
    }
    if (reply == kStartSetDriveError) {
        dwl50_1AddComment("TFS Set Drv Error");
        int error = readReplyByte(port);
        dwl50_2AddCommentF("SetDrv ERR: %d", error);
        return {kFamilyStart, error};
    }
    if (reply != kStartReady) {
        dwl12_LogFailure("UnknowAck");
        return {kFamilyStart, reply};
    }
    dwl50_1AddComment("TFS OK");

    uint8_t version[16] = {};
    std::memcpy(version, d.Version, strnlen(d.Version, sizeof version));
    dwl12_SetLineStep("TFS version");
    ComWrt(port, version, sizeof version);
    reply = readAcknowledge(port);
    if (reply != kVersionAck) {
        logAckFailure(reply, "Failed NBPATH ACK!");
        return {kFamilyVersion, reply};
    }

    uint8_t count[5];
    dwl1_62PutBigEndian32(count, static_cast<uint32_t>(d.NbDir));
    dwl12_SetLineStep("directory count");
    ComWrt(port, count, 4);
    reply = readAcknowledge(port);
    if (reply != kDirCountAck) {
        logAckFailure(reply, "Failed NB PATHDATA ACK!");
        return {kFamilyDirCount, reply};
    }
    dwl50_1AddComment("Recieved PATHDATA ACK!");

    for (int32_t i = 0; i < d.NbDir; ++i) {
        dwl12_SetLineStepNumber("directory", static_cast<uint32_t>(i));
        ComWrt(port, d.DirNames[i], DWL_TFS_NAME_SIZE);
        dwl1_61WaitOutQueueEmpty(port, true);
        reply = readAcknowledge(port);
        if (reply != kDirAck) {
            logAckFailure(reply, "Failed PATHDATA ACK!");
            return {kFamilyDir, indexedCode(reply, static_cast<uint32_t>(i))};
        }
        logNameOk(d.DirNames[i]);
    }

    count[0] = kFileCount;
    dwl1_62PutBigEndian32(count + 1, d.NbFiles);
    dwl12_SetLineStep("file count");
    ComWrt(port, count, 5);

    for (uint32_t f = 0; f < d.NbFiles; ++f) {
        const TfsFileEntry& file = d.Files[f];

        uint8_t header[DWL_TFS_NAME_SIZE + 4];
        std::memcpy(header, file.FileName, DWL_TFS_NAME_SIZE);
        dwl1_62PutBigEndian32(header + DWL_TFS_NAME_SIZE, file.FileSize);
        dwl12_SetLineStepNumber("file header", f);
        ComWrt(port, header, sizeof header);
        dwl1_61WaitOutQueueEmpty(port, true);
        reply = readAcknowledge(port);
        if (reply != kFileHeaderAck) {
            logAckFailure(reply, "Failed CREATEFILE ACK!");
            return {kFamilyFileHeader, indexedCode(reply, f)};
        }

        uint32_t left = file.FileSize;
        do {
            const uint32_t block = left < kBlockSize ? left : kBlockSize;
            const uint8_t* bytes = block > 0 ? image + position : nullptr;
            dwl12_SetLineStepNumber("file block", f);
            ComWrt(port, bytes, static_cast<int>(block));
            for (uint32_t b = 0; b < block; ++b)
                sum += bytes[b];
            position += block;
            left -= block;
            dwl1_61WaitOutQueueEmpty(port, true, &watch);
            dwl_ImageStepBytes(position);
            showProgress(position, d.TotalSize);
            ProcessSystemEvents();
            reply = readAcknowledge(port);
            if (reply != kDataAck) {
                logAckFailure(reply, "Failed TFSDATA ACK!");
                return {kFamilyData, indexedCode(reply, f)};
            }
        } while (left > 0);

        dwl12_SetLineStepNumber("close", f);
        reply = readAcknowledge(port);
        if (reply != kFileClosedAck) {
            logAckFailure(reply, "Failed CLOSEFILE ACK!");
            return {kFamilyFileClosed, indexedCode(reply, f)};
        }
        logNameOk(file.FileName);
    }

    dwl12_SetLineStep("end");
    ComWrtByte(port, kEndOfTransfer);
    reply = readAcknowledge(port);
    if (reply != kEndAck) {
        dwl12_LogFailure("Failed ENDFILE ACK!");
        return {kFamilyEnd, reply};
    }

    uint8_t bytes[4] = {0, 0, 0, 0};
    dwl12_SetLineStep("checksum");
    const int got = ComRd(port, bytes, 4);
    const uint32_t checksum =
        static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    if (got != 4 || checksum != sum) return {kFamilyChecksum, static_cast<int32_t>(checksum)};

    dwl50_1AddComment("Finished TFS OGM Downloading..");
    return result;
}

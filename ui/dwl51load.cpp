// Image file loading: the three load buttons and their loaders. Each image is read whole into a
// heap block held by the download context; its path, size and byte sum show on the main panel.
#include "ui/dwl51mmi.h"

#include "flash/dwl10tfs.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "session/dwl_results.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

constexpr int32_t kFamilyPcLib = 5;
constexpr int kPathSize = 260;

// Path of the image each slot holds: a failed load puts it back on the panel.
char ma_HeldClaFile[kPathSize];
char ma_HeldOgmFile[kPathSize];
char ma_HeldTfsOgmFile[kPathSize];

// Byte used to raise an odd ogm or TFS ogm image to an even size: the value of erased flash.
constexpr uint8_t kPadByte = 0xFF;

struct LoadedFile {
    int32_t handle;
    uint8_t* data; // length + 1 bytes
    uint32_t length;
};

// Opens a regular file for reading its bytes as they are (binary mode: on Windows a text-mode
// read would stop at the first 0x1A and drop the CR of every CR LF): the open file, or nullptr
// with the reason in the operator log. A relative path is taken from the working folder.
FILE* openImage(const char* path) {
    const std::string file = dwl12_8WorkFile(path);
    FILE* image = dwl12_10OpenWholeFile(file.c_str());
    if (image == nullptr) {
        char reason[80];
        snprintf(reason, sizeof reason, ": %s", dwl12_11OpenErrorText(errno));
        dwl50_3AddCommentPath("Cannot open ", path, reason);
    }
    return image;
}

// Asks the file's length: 1, or the step code of the length query (2 also for a file too large
// to hold), or DWL_CODE_EMPTY_FILE for a file without a byte: there is nothing to write, and a
// run must not report success for it.
int imageLength(const char* path, uint32_t* length) {
    long size = 0;
    const int step = dwl12_2CalculateLengthOfFile(dwl12_8WorkFile(path).c_str(), &size);
    if (step != DWL_STEP_OK) return step;
    if (size < 0 || static_cast<unsigned long>(size) >= 0xFFFFFFFFul) return 2;
    if (size == 0) {
        dwl50_3AddCommentPath("Not loaded, the file is empty: ", path, "");
        return DWL_CODE_EMPTY_FILE;
    }
    *length = static_cast<uint32_t>(size);
    return DWL_STEP_OK;
}

// Reads `length` bytes of an open file into a new block of length + 1 bytes; 1, or 2 when the
// block cannot be had or the file does not deliver its length.
int readImage(FILE* image, uint32_t length, LoadedFile* file) {
    uint8_t* data = static_cast<uint8_t*>(malloc(static_cast<size_t>(length) + 1));
    if (data == nullptr) return 2;
    if (fread(data, 1, length, image) != length) {
        free(data);
        return 2;
    }
    data[length] = kPadByte;
    file->handle = fileno(image); // the handle the file was read through
    file->data = data;
    file->length = length;
    return DWL_STEP_OK;
}

void releaseSlot(ImageSlot& slot) {
    free(slot.Data);
    slot.Data = nullptr;
    slot.Size = 0;
}

void holdFile(ImageSlot& slot, const LoadedFile& file) {
    releaseSlot(slot);
    slot.Handle = file.handle;
    slot.Data = file.data;
    slot.Size = file.length;
}

void copyPath(char* to, const char* from) {
    snprintf(to, kPathSize, "%s", from);
}

void showPath(int pathBox, const char* path) {
    ResetTextBox(v_Panel, pathBox, "");
    if (path[0] != '\0') InsertTextBoxLine(v_Panel, pathBox, 0, path);
}

// A load that did not bring the new file: the panel and the context name the held file again.
void keepHeldPath(char* path, const char* held, int pathBox) {
    copyPath(path, held);
    showPath(pathBox, held);
}

void showByteSum(int control, const ImageSlot& slot) {
    const uint32_t sum = slot.Data != nullptr ? dwl51_8ByteSum(slot.Data, slot.Size) : 0;
    SetCtrlVal(v_Panel, control, static_cast<int>(sum));
}

struct ImageKind {
    char* path;
    char* held;
    ImageSlot* slot;
    int pathBox;
    int sizeControl;
    int sumControl;
    const char* logText;
    bool padEven;
};

// The binary and ogm loaders.
void loadImage(const ImageKind& kind) {
    showPath(kind.pathBox, kind.path);
    dwl50_1AddComment(kind.logText);
    dwl52_5LockDuringDownload();

    FILE* image = openImage(kind.path);
    if (image == nullptr) {
        dwl52_10DisplayResult(kFamilyPcLib, 3);
        keepHeldPath(kind.path, kind.held, kind.pathBox);
    } else {
        uint32_t length = 0;
        LoadedFile file{};
        int step = imageLength(kind.path, &length);
        if (step == DWL_STEP_OK) step = readImage(image, length, &file);
        fclose(image);
        if (step == DWL_STEP_OK) {
            holdFile(*kind.slot, file);
            copyPath(kind.held, kind.path);
            SetCtrlVal(v_Panel, kind.sizeControl, static_cast<int>(length));
            if (kind.padEven && (length & 1u) != 0) kind.slot->Size = length + 1;
        } else {
            dwl52_10DisplayResult(kFamilyPcLib, step);
            keepHeldPath(kind.path, kind.held, kind.pathBox);
        }
    }
    showByteSum(kind.sumControl, *kind.slot);
    dwl52_6UnlockAfterDownload();
}

// A TFS ogm image that cannot be kept: nothing of that kind is held afterwards.
void dropTfsImage() {
    releaseSlot(sg_DownloadContext.TfsOgm);
    sg_DownloadContext.TfsOgmFile[0] = '\0';
    ma_HeldTfsOgmFile[0] = '\0';
}

// Names the description file behind a TFS description error: the one read, or, when none was
// found, the first one looked for and why it did not open.
void logDescriptionProblem(const char* imagePath, int step) {
    char path[kPathSize + 8];
    if (dwl10_202FindTFSDescription(imagePath, path, sizeof path) == DWL_STEP_OK) {
        dwl50_3AddCommentPath("TFS description read from ", path, "");
        return;
    }
    const char* reason = "";
    if (step != 2 || dwl10_206WhyNoDescription(imagePath, path, sizeof path, &reason) != 1) return;
    char after[96];
    snprintf(after, sizeof after, ": %s", reason);
    dwl50_3AddCommentPath("No TFS description ", path, after);
}

// Runs the file selection popup for an image kind; true when a file was chosen (its path is
// then in the context's path field).
bool chooseFile(const char* fileType, const char* title, char* path) {
    const int status =
        FileSelectPopup("c:/images", fileType, "", title, "Load", 0, 0, 1, 0, path, kPathSize);
    return status > 0;
}

} // namespace

uint32_t dwl51_8ByteSum(const uint8_t* data, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; i++)
        sum += data[i];
    return sum;
}

void dwl51_0InitLoadFile() {
    loadImage({sg_DownloadContext.ClaFile, ma_HeldClaFile, &sg_DownloadContext.Cla, MAIN_BIN_PATH,
               MAIN_BIN_SIZE, MAIN_BIN_SUM, "Software binary file loading, please wait... ",
               false});
}

void dwl51_0InitLoadFile_ogm() {
    loadImage({sg_DownloadContext.OgmFile, ma_HeldOgmFile, &sg_DownloadContext.Ogm, MAIN_OGM_PATH,
               MAIN_OGM_SIZE, MAIN_OGM_SUM, "Software ogm file loading, please wait... ", true});
}

void dwl51_0InitLoadFile_TFS_ogm() {
    v_Format_Flag = 1;
    char* path = sg_DownloadContext.TfsOgmFile;
    ImageSlot& slot = sg_DownloadContext.TfsOgm;
    showPath(MAIN_TFS_PATH, path);
    dwl50_1AddComment("Software TFS ogm file loading, please wait... ");
    dwl52_5LockDuringDownload();

    FILE* image = openImage(path);
    uint32_t length = 0;
    int step = DWL_STEP_OK;
    if (image == nullptr) {
        dwl52_10DisplayResult(kFamilyPcLib, 3);
        keepHeldPath(path, ma_HeldTfsOgmFile, MAIN_TFS_PATH);
    } else if ((step = imageLength(path, &length)) != DWL_STEP_OK) {
        fclose(image);
        dwl52_10DisplayResult(kFamilyPcLib, step);
        keepHeldPath(path, ma_HeldTfsOgmFile, MAIN_TFS_PATH);
    } else if ((step = dwl10_200InitTFSDescription()) != DWL_STEP_OK) {
        fclose(image);
        logDescriptionProblem(path, step);
        const int window = dwl52_13DisplayTFSFileErr(step);
        // The path box keeps naming the file whose description failed; the error window's
        // button releases the panel, or the load itself when that window cannot be shown.
        dropTfsImage();
        if (window == 0) dwl52_6UnlockAfterDownload();
        return;
    } else if (length != vg_TFSDescritpion.TotalSize) {
        fclose(image);
        dropTfsImage();
        ResetTextBox(v_Panel, MAIN_TFS_PATH, "");
        const uint32_t total = vg_TFSDescritpion.TotalSize;
        dwl50_1AddComment("ERROR : The size of the TFS OGM File is Wrong");
        dwl50_2AddCommentF("File size=%d(0x%08x)", static_cast<int>(length), length);
        dwl50_2AddCommentF("Available size=%d(0x%08x)", static_cast<int>(total), total);
        dwl52_10DisplayResult(18, 18);
    } else {
        LoadedFile file{};
        step = readImage(image, length, &file);
        fclose(image);
        if (step == DWL_STEP_OK) {
            holdFile(slot, file);
            copyPath(ma_HeldTfsOgmFile, path);
            SetCtrlVal(v_Panel, MAIN_TFS_SIZE, static_cast<int>(length));
            if ((length & 1u) != 0) slot.Size = length + 1;
        } else {
            // The description now read belongs to this file, not to the image held before.
            dwl52_10DisplayResult(kFamilyPcLib, step);
            dropTfsImage();
            ResetTextBox(v_Panel, MAIN_TFS_PATH, "");
        }
    }
    showByteSum(MAIN_TFS_SUM, slot);
    dwl52_6UnlockAfterDownload();
}

void dwl51_3FreeImages() {
    releaseSlot(sg_DownloadContext.Cla);
    releaseSlot(sg_DownloadContext.Ogm);
    releaseSlot(sg_DownloadContext.TfsOgm);
    dwl51_16ForgetHeldPaths();
}

void dwl51_16ForgetHeldPaths() {
    ma_HeldClaFile[0] = '\0';
    ma_HeldOgmFile[0] = '\0';
    ma_HeldTfsOgmFile[0] = '\0';
}

int dwl51_52MMILoadFile(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    if (chooseFile("*.bin", "select bin file", sg_DownloadContext.ClaFile)) dwl51_0InitLoadFile();
    dwl51_7EndCommand();
    return 0;
}

int dwl51_52MMILoadFile_ogm(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    if (chooseFile("*.ogm", "select ogm file", sg_DownloadContext.OgmFile))
        dwl51_0InitLoadFile_ogm();
    dwl51_7EndCommand();
    return 0;
}

int dwl51_52MMILoadFile_TFS_ogm(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    if (chooseFile("*.tfs", "select tfs file", sg_DownloadContext.TfsOgmFile))
        dwl51_0InitLoadFile_TFS_ogm();
    dwl51_7EndCommand();
    return 0;
}

// The TFS description: how a TFS ogm image is cut into files and where they go on the handset.
#include "flash/dwl10tfs.h"

#include "flash/dwl10text.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "session/dwl_context.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

TfsDescription vg_TFSDescritpion;

constexpr uint32_t DWL_TFS_VERSION_CHARS = 19;
constexpr uint32_t DWL_TFS_DIR_NAME_CHARS = DWL_TFS_NAME_SIZE - 1;
constexpr uint32_t DWL_TFS_FILE_NAME_CHARS = DWL_TFS_NAME_SIZE;
constexpr int32_t DWL_TFS_MAX_ENTRIES = 65536;
constexpr size_t DWL_TFS_NAME_PART_CHARS = 127;

void dwl10_205FreeTFSTables(TfsDescription* description) {
    free(description->DirNames);
    free(description->Files);
    description->DirNames = nullptr;
    description->Files = nullptr;
    description->NbDir = 0;
    description->MaxFiles = 0;
    description->NbFiles = 0;
    description->TotalSize = 0;
}

void dwl10_203FreeTFSDescription() {
    dwl10_205FreeTFSTables(&vg_TFSDescritpion);
}

// NUM_DIR and MAXFILES, and the two tables filled with 0xFF.
static int dwl10_45ReadCounts(DescriptionText* text, TfsDescription* d) {
    int32_t value = 0;
    if (dwl10_19ReadNumberLine(text, "NUM_DIR : ", &value, 4) != 1) return 4;
    // Checked before anything is allocated.
    if (value < 1 || value > DWL_TFS_MAX_ENTRIES) return 4;
    free(d->DirNames);
    d->NbDir = value;
    d->DirNames = (char(*)[DWL_TFS_NAME_SIZE])malloc((size_t)value * DWL_TFS_NAME_SIZE);
    if (d->DirNames == nullptr) return 4;
    memset(d->DirNames, 0xFF, (size_t)value * DWL_TFS_NAME_SIZE);

    if (dwl10_19ReadNumberLine(text, "MAXFILES : ", &value, 5) != 1) return 5;
    if (value < 1 || value > DWL_TFS_MAX_ENTRIES) return 5;
    free(d->Files);
    d->MaxFiles = (uint32_t)value;
    d->Files = (TfsFileEntry*)malloc((size_t)value * sizeof(TfsFileEntry));
    if (d->Files == nullptr) return 5;
    memset((void*)d->Files, 0xFF, (size_t)value * sizeof(TfsFileEntry));
    return 1;
}

static int dwl10_46ReadDirectories(DescriptionText* text, TfsDescription* d) {
    if (dwl10_18ReadBareKeyword(text, "SET_DIR", 6) != 1) return 6;
    int32_t stored = 0;
    do {
        if (!dwl10_10AtKeyword(text, "DIR_NAME : ")) return 7;
        if (stored >= d->NbDir) return 6;
        int result = dwl10_20ReadTextLine(text, "DIR_NAME : ", d->DirNames[stored],
                                          DWL_TFS_DIR_NAME_CHARS, DWL_TFS_NAME_SIZE, 7);
        if (result != 1) return result;
        stored++;
    } while (!dwl10_10AtKeyword(text, "END_DIR"));
    dwl10_12StepOver(text, (uint32_t)strlen("END_DIR") + 2);
    if (stored < d->NbDir) return 6;
    return 1;
}

static int dwl10_47ReadFiles(DescriptionText* text, TfsDescription* d) {
    if (dwl10_18ReadBareKeyword(text, "SET_FILE", 8) != 1) return 8;
    uint32_t stored = 0;
    uint64_t total = 0;
    do {
        if (!dwl10_10AtKeyword(text, "FILE_NAME : ")) return 9;
        if (stored >= d->MaxFiles) return 11;
        TfsFileEntry* entry = &d->Files[stored];
        int result = dwl10_20ReadTextLine(text, "FILE_NAME : ", entry->FileName,
                                          DWL_TFS_FILE_NAME_CHARS, DWL_TFS_NAME_SIZE, 9);
        if (result != 1) return result;
        int32_t size = 0;
        if (dwl10_19ReadNumberLine(text, "FILE_SIZE : ", &size, 10) != 1) return 10;
        // A negative size, or sizes that do not add up within 32 bits, would cut the image
        // beyond its end.
        if (size < 0) return 10;
        total += (uint32_t)size;
        if (total > 0xFFFFFFFFull) return 10;
        entry->FileSize = (uint32_t)size;
        stored++;
    } while (!dwl10_10AtKeyword(text, "END_FILE"));
    dwl10_12StepOver(text, (uint32_t)strlen("END_FILE") + 2);
    d->NbFiles = stored;
    return 1;
}

static int dwl10_48ReadDescription(DescriptionText* text, TfsDescription* d) {
    uint32_t from = 0, cr = 0;
    if (!dwl10_16KeywordValue(text, "TFSVERSION : ", &from, &cr)) return 3;
    if (cr - from > DWL_TFS_VERSION_CHARS) return 3;
    memset(d->Version, 0, sizeof d->Version);
    memcpy(d->Version, text->Data + from, cr - from);
    dwl10_17EndOfValueLine(text, cr);

    int result = dwl10_45ReadCounts(text, d);
    if (result != 1) return result;
    result = dwl10_46ReadDirectories(text, d);
    if (result != 1) return result;
    result = dwl10_47ReadFiles(text, d);
    if (result != 1) return result;
    if (dwl10_18ReadBareKeyword(text, "END_TFS", 12) != 1) return 12;

    uint32_t total = 0;
    for (uint32_t i = 0; i < d->NbFiles; i++)
        total += d->Files[i].FileSize;
    d->TotalSize = total;
    return 1;
}

int dwl10_204ParseTFSDescription(const uint8_t* data, uint32_t length,
                                 TfsDescription* description) {
    dwl10_205FreeTFSTables(description);
    memset(description, 0, sizeof *description);
    DescriptionText text = {data, data == nullptr ? 0 : length, 0};
    while (text.Pos < text.Length) {
        uint8_t c = text.Data[text.Pos];
        if (c == '#' || c == '\r') {
            dwl10_11SkipLine(&text);
            continue;
        }
        int result = dwl10_48ReadDescription(&text, description);
        if (result != 1) {
            // The description is incomplete: nothing may read its tables.
            dwl10_205FreeTFSTables(description);
            return result;
        }
    }
    return 1;
}

// Copies text into path when it fits; false otherwise.
static bool dwl10_49SetPath(char* path, unsigned pathSize, const char* text, size_t n) {
    if (n + 1 > pathSize) return false;
    memcpy(path, text, n);
    path[n] = '\0';
    return true;
}

// 0 when a file opens for reading, else the system's error number (a folder of that name is no
// description: EISDIR).
static int dwl10_51OpenError(const char* path) {
    // Asked first: not every system refuses to open a folder, nor says why in the same words.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return EISDIR;
    FILE* file = dwl12_10OpenWholeFile(path);
    if (file == nullptr) return errno != 0 ? errno : ENOENT;
    fclose(file);
    return 0;
}

static bool dwl10_50Opens(const char* path) {
    return dwl10_51OpenError(path) == 0;
}

// The first candidate: the image's path with "cfg" in place of its last three characters. false
// when the image path is too short or the candidate does not fit.
static bool dwl10_52BesideImage(const char* imagePath, char* path, unsigned pathSize) {
    if (imagePath == nullptr) return false;
    size_t n = strlen(imagePath);
    if (n < 3 || n + 1 > pathSize) return false;
    memcpy(path, imagePath, n - 3);
    memcpy(path + n - 3, "cfg", 4);
    return true;
}

int dwl10_202FindTFSDescription(const char* imagePath, char* path, unsigned pathSize) {
    if (path == nullptr || pathSize == 0) return 2;
    // 1. The image's path with "cfg" in place of its last three characters.
    if (dwl10_52BesideImage(imagePath, path, pathSize)) {
        if (dwl10_50Opens(path)) return 1;
        // 2. Its name part (behind the last '/' or '\') in the working directory.
        const char* name = path;
        for (const char* p = path; *p != '\0'; p++) {
            if (*p == '/' || *p == '\\') name = p + 1;
        }
        size_t nameLength = strlen(name);
        if (name != path && nameLength <= DWL_TFS_NAME_PART_CHARS) {
            char namePart[DWL_TFS_NAME_PART_CHARS + 1];
            memcpy(namePart, name, nameLength + 1);
            const std::string local = dwl12_8WorkFile(namePart);
            if (dwl10_50Opens(local.c_str()) &&
                dwl10_49SetPath(path, pathSize, local.c_str(), local.size())) {
                return 1;
            }
        }
    }
    // 3. tfs.cfg in the working directory.
    const std::string local = dwl12_8WorkFile("tfs.cfg");
    if (dwl10_50Opens(local.c_str()) &&
        dwl10_49SetPath(path, pathSize, local.c_str(), local.size()))
        return 1;
    path[0] = '\0';
    return 2;
}

int dwl10_206WhyNoDescription(const char* imagePath, char* path, unsigned pathSize,
                              const char** reason) {
    *reason = "";
    if (path == nullptr || pathSize == 0) return 0;
    path[0] = '\0';
    if (!dwl10_52BesideImage(imagePath, path, pathSize)) return 0;
    const int error = dwl10_51OpenError(path);
    *reason = error != 0 ? strerror(error) : "opens, but cannot be read";
    return 1;
}

int dwl10_201InitTFSDescriptionFor(const char* imagePath) {
    char path[1024];
    if (dwl10_202FindTFSDescription(imagePath, path, sizeof path) != 1) return 2;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (dwl10_15ReadWholeFile(path, &data, &length) != 1) return 2;
    int result = dwl10_204ParseTFSDescription(data, length, &vg_TFSDescritpion);
    free(data);
    return result;
}

int dwl10_200InitTFSDescription() {
    char image[sizeof sg_DownloadContext.TfsOgmFile + 1];
    memcpy(image, sg_DownloadContext.TfsOgmFile, sizeof sg_DownloadContext.TfsOgmFile);
    image[sizeof sg_DownloadContext.TfsOgmFile] = '\0';
    return dwl10_201InitTFSDescriptionFor(image);
}

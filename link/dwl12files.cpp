// File helpers of the PC link library: the length of a file, loading a handset program.
#include "link/dwl12pclib.h"

#include "link/dwl12datafiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

int dwl12_2CalculateLengthOfFile(const char* path, long* size) {
    struct stat info;
    if (path == nullptr || stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return 2;
    *size = (long)info.st_size;
    return 1;
}

// Largest count the loader reaches; the image and its closing byte stay below the buffer size.
constexpr uint32_t DWL_SPM_COUNT_LIMIT = 65535;

namespace {

// The handset program of a product type, or nullptr when it has none.
const char* spmName(int productType) {
    if (productType == 1 || productType == 2) return "dwl87.spm";
    if (productType == 255) return "dwl88.spm";
    return nullptr;
}

} // namespace

int dwl12_4LoadSpmFile(uint32_t* count, uint8_t* buffer, int productType) {
    const char* name = spmName(productType);
    if (name == nullptr) return 3;
    FILE* file = fopen(dwl12_7DataFile(name).c_str(), "rb");
    if (file == nullptr) return 3;

    // The count always starts from the beginning of the buffer.
    *count = 0;
    bool endMet = false;
    while (*count < DWL_SPM_COUNT_LIMIT) {
        int c = fgetc(file);
        // The read that meets the end of the file stores its value too (0xFF).
        buffer[*count] = (uint8_t)c;
        (*count)++;
        if (c == EOF) {
            endMet = true;
            break;
        }
    }
    fclose(file);
    return endMet ? 1 : 4;
}

std::string dwl12_9SpmProblem(int productType) {
    const char* name = spmName(productType);
    if (name == nullptr)
        return "no handset program for product type " + std::to_string(productType);
    FILE* file = fopen(dwl12_7DataFile(name).c_str(), "rb");
    const int error = file == nullptr ? errno : 0;
    if (file != nullptr) fclose(file);
    std::string text = std::string(name) + ": " + (error != 0 ? strerror(error) : "readable now");
    const char* separator = ", looked for in ";
    for (const std::string& folder : dwl12_9SearchedFolders(name)) {
        text += separator + folder;
        separator = ", ";
    }
    return text;
}

// File helpers of the PC link library: the length of a file, loading a handset program.
#include "link/dwl12pclib.h"

#include "link/dwl12datafiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

int dwl12_2CalculateLengthOfFile(const char* path, long* size) {
    if (path == nullptr) return 2;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status) || fs::is_directory(status)) return 2;
    // A device or a pipe has no length of its own: nothing to read ahead of it.
    if (!fs::is_regular_file(status)) {
        *size = 0;
        return 1;
    }
    const std::uintmax_t length = fs::file_size(path, ec);
    // Where long has 32 bits (Windows) a length beyond it is one the caller cannot hold.
    if (ec || length > static_cast<std::uintmax_t>(LONG_MAX)) return 2;
    *size = static_cast<long>(length);
    return 1;
}

FILE* dwl12_10OpenWholeFile(const char* path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        errno = EISDIR;
        return nullptr;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        errno = EINVAL;
        return nullptr;
    }
    return fopen(path, "rb");
}

const char* dwl12_11OpenErrorText(int error) {
    return error == EINVAL ? "not a regular file" : strerror(error);
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
    FILE* file = dwl12_10OpenWholeFile(dwl12_7DataFile(name).c_str());
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
    FILE* file = dwl12_10OpenWholeFile(dwl12_7DataFile(name).c_str());
    const int error = file == nullptr ? errno : 0;
    if (file != nullptr) fclose(file);
    std::string text =
        std::string(name) + ": " + (error != 0 ? dwl12_11OpenErrorText(error) : "readable now");
    const char* separator = ", looked for in ";
    for (const std::string& folder : dwl12_9SearchedFolders(name)) {
        text += separator + folder;
        separator = ", ";
    }
    return text;
}

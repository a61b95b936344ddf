#include "app/handset_sim/replace_file.h"

#include <cerrno>
#include <cstdio>

bool ReplaceFile(const std::string& path, const void* data, size_t size) {
    const std::string temporary = path + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int error = errno;
    std::remove(temporary.c_str());
    errno = error;
    return false;
}

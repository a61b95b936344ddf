#include "tests/support/temp_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

TempDir::TempDir() {
    // A name no other folder has (as short as mkdtemp's): creating it is what claims it.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 names(seed());
    for (int attempt = 0; attempt < 100; attempt++) {
        char name[32];
        snprintf(name, sizeof name, "dwl-test-%06llx",
                 static_cast<unsigned long long>(names() & 0xFFFFFFull));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const {
    return path_ + "/" + name;
}

std::string crlfText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void writeCrLfFile(const std::string& path, const std::vector<std::string>& lines) {
    writeBytes(path, crlfText(lines));
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeBytes(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

WorkingDirectory::WorkingDirectory(const std::string& dir) {
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

std::string sourceDir() {
    const char* env = getenv("DWL_SOURCE_DIR");
    if (env != nullptr && *env != '\0') return env;
#ifdef DWL_SOURCE_DIR_DEFAULT
    return DWL_SOURCE_DIR_DEFAULT;
#else
    return ".";
#endif
}

std::string binaryDir() {
    const char* env = getenv("DWL_BINARY_DIR");
    if (env != nullptr) return env;
#ifdef DWL_BINARY_DIR_DEFAULT
    return DWL_BINARY_DIR_DEFAULT;
#else
    return "";
#endif
}

int fileHeldOpen(const std::string& path) {
#ifdef _WIN32
    // The C library opens files without sharing their deletion: an open that wants the file
    // for itself alone is refused while any handle to it is open.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return 0;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? 1 : -1;
#else
    // Each of the process's descriptors names the file it opened.
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::canonical(path, ec);
    if (ec) return -1;
    std::filesystem::directory_iterator fds("/proc/self/fd", ec);
    if (ec) return -1;
    for (const auto& fd : fds) {
        std::error_code unreadable; // the iterator's own descriptor, closed by now
        if (std::filesystem::read_symlink(fd.path(), unreadable) == file) return 1;
    }
    return 0;
#endif
}

} // namespace testsupport

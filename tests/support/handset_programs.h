// A temporary working directory holding the handset programs dwl87.spm and dwl88.spm, as the
// boot sequence and the extension module transfer read them. The test process works inside it
// while the object lives.
#pragma once

#include "tests/support/temp_files.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bootsupport {

// Recognisable file contents: no long run of equal bytes, never all 0xFF.
inline std::vector<uint8_t> ProgramBytes(size_t size, uint8_t salt = 0) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3 + salt + i / 251);
    return bytes;
}

class HandsetPrograms {
  public:
    HandsetPrograms() : cwd_(dir_.path()) {}

    bool ok() const { return !dir_.path().empty(); }
    const std::string& dir() const { return dir_.path(); }

    // Writes dwl87.spm of `size` bytes; returns the image the loader makes of it (plus 0xFF).
    std::vector<uint8_t> writeBootstrap(size_t size) { return write("dwl87.spm", size, 0); }
    // Writes dwl88.spm of `size` bytes; returns the image the loader makes of it.
    std::vector<uint8_t> writeExtension(size_t size) { return write("dwl88.spm", size, 0x55); }
    void remove(const char* name) { std::remove(dir_.file(name).c_str()); }

  private:
    std::vector<uint8_t> write(const char* name, size_t size, uint8_t salt) {
        std::vector<uint8_t> bytes = ProgramBytes(size, salt);
        testsupport::writeBytes(dir_.file(name), bytes);
        bytes.push_back(0xFF);
        return bytes;
    }

    testsupport::TempDir dir_;
    testsupport::WorkingDirectory cwd_;
};

} // namespace bootsupport

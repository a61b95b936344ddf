// File length and loading the handset programs from the working directory.
#include "link/dwl12pclib.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

struct FileHelpersTest : ::testing::Test {
    testsupport::TempDir dir;
    testsupport::WorkingDirectory cwd{dir.path()};
    // Exactly the buffer size, on the heap: the sanitizer build catches any write beyond it.
    std::vector<uint8_t> buffer = std::vector<uint8_t>(DWL_SPM_BUFFER_SIZE, 0x5A);
    uint32_t count = 0;

    void writeSpm(const char* name, size_t size, uint32_t seed = 7) {
        testsupport::writeBytes(dir.file(name), testsupport::sampleBytes(seed, size));
    }
};

TEST_F(FileHelpersTest, LengthOfFile) {
    long size = -5;
    testsupport::writeBytes(dir.file("a.bin"), std::string(1234, 'x'));
    EXPECT_EQ(dwl12_2CalculateLengthOfFile(dir.file("a.bin").c_str(), &size), 1);
    EXPECT_EQ(size, 1234);
    testsupport::writeBytes(dir.file("empty.bin"), std::string());
    EXPECT_EQ(dwl12_2CalculateLengthOfFile("empty.bin", &size), 1);
    EXPECT_EQ(size, 0);
    size = -5;
    EXPECT_EQ(dwl12_2CalculateLengthOfFile("missing.bin", &size), 2);
    EXPECT_EQ(size, -5);
    EXPECT_EQ(dwl12_2CalculateLengthOfFile(dir.path().c_str(), &size), 2) << "a folder";
    EXPECT_EQ(dwl12_2CalculateLengthOfFile(nullptr, &size), 2);
}

TEST_F(FileHelpersTest, BootstrapLoadsWithClosingByte) {
    writeSpm("dwl87.spm", 4000);
    ASSERT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    ASSERT_EQ(count, 4001u);
    std::vector<uint8_t> expected = testsupport::sampleBytes(7, 4000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_EQ(buffer[4000], 0xFF);
    EXPECT_EQ(buffer[4001], 0x5A) << "nothing written behind the count";
    count = 0;
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 1), 1) << "type 1 reads the same file";
    EXPECT_EQ(count, 4001u);
}

TEST_F(FileHelpersTest, ExtensionModuleForType255) {
    writeSpm("dwl88.spm", 20000, 88);
    ASSERT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 255), 1);
    EXPECT_EQ(count, 20001u);
    EXPECT_EQ(buffer[20000], 0xFF);
    count = 0;
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 3) << "no dwl87.spm here";
}

TEST_F(FileHelpersTest, EmptyBootstrapIsOneByte) {
    writeSpm("dwl87.spm", 0);
    ASSERT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(buffer[0], 0xFF);
}

TEST_F(FileHelpersTest, SizeLimit) {
    writeSpm("dwl87.spm", 65534);
    ASSERT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    EXPECT_EQ(count, 65535u);
    EXPECT_EQ(buffer[65534], 0xFF);
    EXPECT_EQ(buffer[65535], 0x5A);
    writeSpm("dwl87.spm", 65535);
    count = 0;
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 4);
    writeSpm("dwl87.spm", 300000);
    count = 0;
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 4);
    EXPECT_EQ(buffer[65535], 0x5A);
}

// Each load closes its file, whether it fits or not: a station loads the programs for every
// handset it boots, and an open file left behind each time ends in a refused fopen.
TEST_F(FileHelpersTest, EveryLoadClosesItsFile) {
#ifdef _WIN32
    // Windows refuses to remove a file that is still open (fopen shares no delete). The list
    // of open files that Linux keeps is no use here: under wine /proc/self/fd is the wine
    // server's, shared with every other program of the prefix.
    const auto closed = [&](const char* name) {
        std::error_code error;
        return std::filesystem::remove(dir.file(name), error) && !error;
    };
    writeSpm("dwl87.spm", 100);
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    EXPECT_TRUE(closed("dwl87.spm"));
    writeSpm("dwl88.spm", 70000);
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 255), 4);
    EXPECT_TRUE(closed("dwl88.spm"));
#else
    // The process's own open files.
    const auto openFiles = [] {
        std::error_code error;
        std::filesystem::directory_iterator fds("/proc/self/fd", error);
        return error ? -1 : static_cast<int>(std::distance(fds, {}));
    };
    const int before = openFiles();
    if (before < 0) GTEST_SKIP() << "no list of open files here";
    writeSpm("dwl87.spm", 100);
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    writeSpm("dwl88.spm", 70000);
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 255), 4);
    EXPECT_EQ(openFiles(), before);
#endif
}

TEST_F(FileHelpersTest, NoFileForOtherProductTypes) {
    writeSpm("dwl87.spm", 10);
    writeSpm("dwl88.spm", 10);
    for (int type : {0, 3, -1, 254, 256}) {
        count = 0;
        EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), type), 3) << type;
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(buffer[0], 0x5A);
    }
}

// A count left over from an earlier load does not move the image in the buffer.
TEST_F(FileHelpersTest, LoadStartsAtTheBufferStart) {
    writeSpm("dwl87.spm", 100);
    count = 65000;
    ASSERT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    EXPECT_EQ(count, 101u);
}

} // namespace

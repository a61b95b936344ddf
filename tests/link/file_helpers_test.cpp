// File length and loading the handset programs from the working directory.
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

struct FileHelpersTest : ::testing::Test {
    testsupport::TempDir dir;
    testsupport::WorkingDirectory cwd{dir.path()};
    // Exactly the buffer size, on the heap: the sanitizer build catches any write beyond it.
    std::vector<uint8_t> buffer = std::vector<uint8_t>(DWL_SPM_BUFFER_SIZE, 0x5A);
    uint32_t count = 0;

    std::string writeSpm(const char* name, size_t size, uint32_t seed = 7) {
        testsupport::writeBytes(dir.file(name), testsupport::sampleBytes(seed, size));
        return dir.file(name);
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
    // Where long has 32 bits (Windows) the longest length it holds is a length, one byte more is
    // none (sparse files: no disk is used).
    if (sizeof(long) == 4) {
        std::filesystem::resize_file(dir.file("a.bin"), static_cast<std::uintmax_t>(LONG_MAX));
        EXPECT_EQ(dwl12_2CalculateLengthOfFile("a.bin", &size), 1);
        EXPECT_EQ(size, LONG_MAX);
        std::filesystem::resize_file(dir.file("a.bin"), static_cast<std::uintmax_t>(LONG_MAX) + 1);
        EXPECT_EQ(dwl12_2CalculateLengthOfFile("a.bin", &size), 2);
    }
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
    const std::string fits = writeSpm("dwl87.spm", 100);
    if (testsupport::fileHeldOpen(fits) < 0) GTEST_SKIP() << "no way to tell open files here";
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 2), 1);
    EXPECT_EQ(testsupport::fileHeldOpen(fits), 0);
    const std::string tooLong = writeSpm("dwl88.spm", 70000);
    EXPECT_EQ(dwl12_4LoadSpmFile(&count, buffer.data(), 255), 4);
    EXPECT_EQ(testsupport::fileHeldOpen(tooLong), 0);
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

// A folder holding its own flash.txt or dwl87.spm is a working folder: every file is read from
// it alone. Any other takes what it lacks from the data folders, the handset programs only when
// they may come from there.
TEST_F(FileHelpersTest, AWorkingFolderIsOneWithItsOwnFlashTxtOrBootstrap) {
    if (dwl12_6FindDataFolder("flash.txt").empty() || dwl12_6FindDataFolder("dwl88.spm").empty())
        GTEST_SKIP() << "no data folder with flash.txt and the handset programs here";
    struct Case {
        const char* holds; // the one file of the working folder, "" for none
        const char* name;
        int spmFromDataFolder;
        bool local;
    };
    const Case cases[] = {
        {"", "flash.txt", 0, false},          {"", "dwl87.spm", 0, true},
        {"", "dwl88.spm", 0, true},           {"", "dwl88.spm", 1, false},
        {"dwl87.spm", "flash.txt", 1, true},  {"flash.txt", "dwl88.spm", 1, true},
        {"dwl88.spm", "flash.txt", 1, false},
    };
    const int search = v_DataFolderSearch, spm = v_SpmFromDataFolder;
    v_DataFolderSearch = 1;
    for (const Case& c : cases) {
        testsupport::TempDir work;
        if (c.holds[0] != '\0') testsupport::writeBytes(work.file(c.holds), std::string("x"));
        v_WorkFolder = work.path();
        v_SpmFromDataFolder = c.spmFromDataFolder;
        EXPECT_EQ(dwl12_7DataFile(c.name) == work.file(c.name), c.local)
            << c.holds << " " << c.name << " " << c.spmFromDataFolder;
    }
    v_WorkFolder.clear();
    v_DataFolderSearch = search;
    v_SpmFromDataFolder = spm;
}

void setSourceDir(const char* value) {
#if defined(_WIN32)
    _putenv_s("DWL_SOURCE_DIR", value);
#else
    setenv("DWL_SOURCE_DIR", value, 1);
#endif
}

// The source tree that DWL_SOURCE_DIR names is searched, even one named by a single character.
TEST_F(FileHelpersTest, TheSourceTreeOfTheEnvironmentIsSearched) {
    std::filesystem::create_directory(dir.file("examples"));
    const char* was = std::getenv("DWL_SOURCE_DIR");
    const std::string saved = was != nullptr ? was : "";
    setSourceDir(".");
    const std::vector<std::string> folders = dwl12_5DataFolders();
    setSourceDir(saved.c_str());
    EXPECT_NE(std::find(folders.begin(), folders.end(), "./examples"), folders.end());
}

} // namespace

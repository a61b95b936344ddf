// config.txt: the save format, the restore with its result codes and windows, and what a
// failing line leaves behind.
#include "tests/support/memory_limit.h"
#include "tests/support/operator_bench.h"

#include "config/dwl56conf.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::OperatorBench;
using testsupport::readBytes;
using testsupport::writeCrLfFile;

namespace {

std::string fileText(const std::string& path) {
    const std::vector<uint8_t> b = readBytes(path);
    return std::string(b.begin(), b.end());
}

void setClaPath(const std::string& path) {
    snprintf(sg_DownloadContext.ClaFile, sizeof sg_DownloadContext.ClaFile, "%s", path.c_str());
}

// A configuration with the given keyed lines after the three comment lines.
void writeConfig(const OperatorBench& bench, const std::vector<std::string>& keyed) {
    std::vector<std::string> lines = {"* ***********************", "* Configuration save file",
                                      "* ***********************"};
    lines.insert(lines.end(), keyed.begin(), keyed.end());
    writeCrLfFile(bench.file("config.txt"), lines);
}

class ConfigFile : public ::testing::Test {
  protected:
    OperatorBench bench;
    std::string image = bench.writeImage("soft.bin", 777, 3);
};

TEST_F(ConfigFile, SaveWritesTheEightLinesWithCrLf) {
    setClaPath(image);
    sg_DownloadContext.ComPort = 3;
    sg_DownloadContext.Pmu = 1;
    sg_DownloadContext.ProductType = 1;
    sg_DownloadContext.DownloadType = 4;
    EXPECT_EQ(dwl56_1SaveConfig(), 1);
    EXPECT_EQ(fileText(bench.file("config.txt")), "* ***********************\r\n"
                                                  "* Configuration save file\r\n"
                                                  "* ***********************\r\n"
                                                  "CLA File : " +
                                                      image +
                                                      "\r\n"
                                                      "COM : 3\r\n"
                                                      "PMU : 1\r\n"
                                                      "Product Type : 1\r\n"
                                                      "Download Type : 4\r\n");
}

TEST_F(ConfigFile, WhatSaveWritesRestoreReadsBack) {
    setClaPath(image);
    sg_DownloadContext.ComPort = 2;
    sg_DownloadContext.Pmu = 1;
    sg_DownloadContext.ProductType = 1;
    sg_DownloadContext.DownloadType = 3;
    bench.menu(MENU_SAVE);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_CONF_ERR), 0);

    sg_DownloadContext = dwl_DefaultContext();
    bench.menu(MENU_RESTORE);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_CONF_ERR), 0);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, image.c_str());
    EXPECT_EQ(sg_DownloadContext.ComPort, 2);
    EXPECT_EQ(sg_DownloadContext.Pmu, 1);
    EXPECT_EQ(sg_DownloadContext.ProductType, 1);
    EXPECT_EQ(sg_DownloadContext.DownloadType, 3);
    // The binary image came with it, and the COM ring follows.
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 777u);
    EXPECT_EQ(bench.intValue(MAIN_BIN_SIZE), 777);
    EXPECT_EQ(bench.text(MAIN_BIN_PATH), image);
    EXPECT_TRUE(bench.logged("Software binary file loading, please wait... "));
    EXPECT_EQ(bench.intValue(MAIN_COM_PORT), 2);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST_F(ConfigFile, RestoreWithoutFileShowsThereIsNoConfigurationFile) {
    bench.menu(MENU_RESTORE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_CONF_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "There is no configuration file ");
    bench.pressOk(w);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_CONF_ERR), 0);
}

TEST_F(ConfigFile, ARestoreAskedWhileACommandRunsIsRefusedWithZeroAndReadsNothing) {
    writeConfig(bench, {"CLA File : " + image, "COM : 3", "PMU : 0", "Product Type : 0",
                        "Download Type : 0"});
    ASSERT_TRUE(dwl51_6BeginCommand());
    // The command line takes 0 for "refused": a 1 would pass for a restore that worked.
    EXPECT_EQ(dwl51_106RestoreSettings(bench.file("config.txt").c_str()), 0);
    dwl51_7EndCommand();
    EXPECT_EQ(sg_DownloadContext.ComPort, dwl_DefaultContext().ComPort);
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_EQ(dwl51_106RestoreSettings(bench.file("config.txt").c_str()), 1);
    EXPECT_EQ(sg_DownloadContext.ComPort, 3);
}

TEST_F(ConfigFile, SaveIntoAFolderThatCannotHoldTheFileGivesTwo) {
    // A folder named config.txt cannot be opened for writing.
    ASSERT_TRUE(std::filesystem::create_directory(bench.file("config.txt")));
    EXPECT_EQ(dwl56_1SaveConfig(), 2);
    bench.menu(MENU_SAVE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_CONF_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "There is no configuration file ");
}

TEST_F(ConfigFile, AComValueAboveFourIsStoredLoadedAndReported) {
    writeConfig(bench, {"CLA File : " + image, "COM : 5", "PMU : 0", "Product Type : 2",
                        "Download Type : 0"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 5);
    EXPECT_EQ(sg_DownloadContext.ComPort, 5);
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 777u);
    // The selector is set only after the value passed.
    EXPECT_EQ(bench.intValue(MAIN_COM_PORT), 4);
    bench.menu(MENU_RESTORE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_CONF_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "The com number in configuration file is not rigth ");
}

TEST_F(ConfigFile, ValuesAreComparedAgainstTheUpperBoundOnly) {
    writeConfig(bench, {"CLA File : " + image, "COM : -1", "PMU : -7", "Product Type :   +1",
                        "Download Type : 2abc"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_EQ(sg_DownloadContext.ComPort, -1);
    EXPECT_EQ(sg_DownloadContext.Pmu, -7);
    EXPECT_EQ(sg_DownloadContext.ProductType, 1);
    EXPECT_EQ(sg_DownloadContext.DownloadType, 2);
}

TEST_F(ConfigFile, ValuesBeyondThirtyTwoBitsStayAtTheLimit) {
    const std::pair<const char*, int32_t> cases[] = {
        {"2147483647", INT32_MAX},  {"2147483648", INT32_MAX},  {"4294967296", INT32_MAX},
        {"4294967297", INT32_MAX},  {"-2147483648", INT32_MIN}, {"-2147483649", INT32_MIN},
        {"-4294967295", INT32_MIN},
    };
    for (auto [text, value] : cases) {
        writeConfig(bench, {"CLA File : " + image, std::string("COM : ") + text, "PMU : 0",
                            "Product Type : 1", "Download Type : 0"});
        EXPECT_EQ(dwl51_104RestoreConfig(), value > 4 ? 5 : 1) << text;
        EXPECT_EQ(sg_DownloadContext.ComPort, value) << text;
    }
}

TEST_F(ConfigFile, AValueWithoutDigitsReadsAsZero) {
    sg_DownloadContext.ProductType = 2;
    writeConfig(bench, {"CLA File : " + image, "COM : 1", "PMU : ", "Product Type : x",
                        "Download Type : 4"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_EQ(sg_DownloadContext.Pmu, 0);
    EXPECT_EQ(sg_DownloadContext.ProductType, 0);
    EXPECT_EQ(sg_DownloadContext.DownloadType, 4);
}

TEST_F(ConfigFile, EachLineHasItsMissingKeyAndTooHighCodes) {
    struct Case {
        std::vector<std::string> keyed;
        int code;
        const char* message;
    };
    const std::string cla = "CLA File : " + image;
    const Case cases[] = {
        {{"COM file : 1"}, 3, "Impossible to find the sofware file "},
        {{cla, "Com : 1"}, 6, "Bad com description in configuration file "},
        {{cla, "COM : 1", "PMU :1"}, 10, "Bad PMU description in configuration file "},
        {{cla, "COM : 1", "PMU : 2"}, 9, "The PMU state in configuration file is not rigth "},
        {{cla, "COM : 1", "PMU : 1", "product Type : 1"},
         12,
         "Bad product type description in configuration file "},
        {{cla, "COM : 1", "PMU : 1", "Product Type : 3"},
         11,
         "The product type state in configuration file is not rigth "},
        {{cla, "COM : 1", "PMU : 1", "Product Type : 1"},
         14,
         "Bad download type description in configuration file "},
        {{cla, "COM : 1", "PMU : 1", "Product Type : 1", "Download Type : 5"},
         13,
         "The download type state in configuration file is not rigth "},
    };
    for (const Case& c : cases) {
        writeConfig(bench, c.keyed);
        EXPECT_EQ(dwl51_104RestoreConfig(), c.code) << c.message;
        bench.menu(MENU_RESTORE);
        const int w = bench.window("Utility.uir", UTIL_PANEL_CONF_ERR);
        ASSERT_GT(w, 0);
        EXPECT_EQ(bench.windowText(w), c.message);
        bench.pressOk(w);
    }
}

TEST_F(ConfigFile, ValuesStoredBeforeAFailingLineStay) {
    writeConfig(bench, {"CLA File : " + image, "COM : 2", "PMU : 1", "Product Type : 9"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 11);
    EXPECT_EQ(sg_DownloadContext.ComPort, 2);
    EXPECT_EQ(sg_DownloadContext.Pmu, 1);
    EXPECT_EQ(sg_DownloadContext.ProductType, 9);
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 777u);
}

TEST_F(ConfigFile, ACommentBetweenComAndPmuGivesTen) {
    writeConfig(bench, {"CLA File : " + image, "COM : 1", "* note", "PMU : 0"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 10);
    EXPECT_EQ(sg_DownloadContext.ComPort, 1);
}

TEST_F(ConfigFile, CommentsAndEmptyLinesBeforeTheBlockAreSkippedWhateverFollows) {
    writeCrLfFile(bench.file("config.txt"),
                  {"*", "", "*COM : 1", "", "CLA File : " + image, "COM : 3", "PMU : 0",
                   "Product Type : 1", "Download Type : 0", "anything at all", "COM : 9"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_EQ(sg_DownloadContext.ComPort, 3);
}

TEST_F(ConfigFile, AnEmptyFileOrOnlyCommentsChangeNothing) {
    setClaPath(image);
    testsupport::writeBytes(bench.file("config.txt"), std::string());
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    writeCrLfFile(bench.file("config.txt"), {"* a", "* b", ""});
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    const DownloadContext defaults = dwl_DefaultContext();
    EXPECT_STREQ(sg_DownloadContext.ClaFile, image.c_str());
    EXPECT_EQ(sg_DownloadContext.ComPort, defaults.ComPort);
    EXPECT_EQ(sg_DownloadContext.Pmu, defaults.Pmu);
    EXPECT_EQ(sg_DownloadContext.ProductType, defaults.ProductType);
    EXPECT_EQ(sg_DownloadContext.DownloadType, defaults.DownloadType);
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_TRUE(bench.lines.empty());
}

TEST_F(ConfigFile, AShorterPathReplacesTheLongerWhole) {
    const std::string shorter = bench.writeImage("s.bin", 10);
    setClaPath(bench.file("a-much-longer-name-of-an-image.bin"));
    writeConfig(bench, {"CLA File : " + shorter, "COM : 1", "PMU : 0", "Product Type : 1",
                        "Download Type : 0"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, shorter.c_str());
}

TEST_F(ConfigFile, ARestoredImageThatCannotBeLoadedIsReportedAndThePreviousStays) {
    const std::string previous = bench.writeImage("prev.bin", 55);
    bench.load(MAIN_BIN_LOAD, previous);
    writeConfig(bench, {"CLA File : " + bench.file("absent.bin"), "COM : 1", "PMU : 0",
                        "Product Type : 1", "Download Type : 0"});
    bench.menu(MENU_RESTORE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : File not found");
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_CONF_ERR), 0);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, previous.c_str());
    EXPECT_EQ(bench.text(MAIN_BIN_PATH), previous);
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 55u);
    // The rest of the file was taken.
    EXPECT_EQ(sg_DownloadContext.ComPort, 1);
    EXPECT_EQ(sg_DownloadContext.ProductType, 1);
}

TEST_F(ConfigFile, LineFeedOnlyLinesAndAMissingLastLineEndAreRead) {
    testsupport::writeBytes(bench.file("config.txt"),
                            "* c\n\nCLA File : " + image +
                                "\nCOM : 2\nPMU : 1\nProduct Type : 1\nDownload Type : 3");
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, image.c_str());
    EXPECT_EQ(sg_DownloadContext.ComPort, 2);
    EXPECT_EQ(sg_DownloadContext.DownloadType, 3);
    // The end of the file ends the last value as a line end would: nineteen characters fit.
    testsupport::writeBytes(bench.file("config.txt"),
                            "CLA File : " + image + "\r\nCOM : 0000000000000000002");
    EXPECT_EQ(dwl51_104RestoreConfig(), 10);
    EXPECT_EQ(sg_DownloadContext.ComPort, 2);
}

TEST_F(ConfigFile, OverlongPathsAndValuesAreRefusedWithoutTouchingTheirField) {
    setClaPath(image);
    writeConfig(bench, {"CLA File : " + std::string(300, 'p'), "COM : 1"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 4);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, image.c_str());

    writeConfig(bench, {"CLA File : " + image, "COM : 00000000000000000001"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 4);
    EXPECT_EQ(sg_DownloadContext.ComPort, 4);

    // Nineteen characters are still a value; a huge one is held to the 32-bit range.
    writeConfig(bench, {"CLA File : " + image, "COM : 9999999999999999999"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 5);
    EXPECT_EQ(sg_DownloadContext.ComPort, INT32_MAX);
    writeConfig(bench, {"CLA File : " + image, "COM : -9999999999999999"});
    EXPECT_EQ(dwl51_104RestoreConfig(), 10);
    EXPECT_EQ(sg_DownloadContext.ComPort, INT32_MIN);

    bench.menu(MENU_RESTORE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_CONF_ERR);
    ASSERT_GT(w, 0);
}

// No memory for the file's text: refused like an overlong line, and no value is taken.
TEST_F(ConfigFile, AFileThatDoesNotFitInMemoryIsRefused) {
    if (testsupport::kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer maps beyond any limit";
    if (!testsupport::kAddressSpaceLimits) GTEST_SKIP() << "no address-space limit here";
    writeConfig(bench, {"CLA File : " + image, "COM : 3"});
    std::filesystem::resize_file(bench.file("config.txt"), 512l << 20); // sparse: no disk used
    int code = 0;
    {
        testsupport::AddressSpaceLimit limit(64u << 20);
        ASSERT_TRUE(limit.ok());
        code = dwl51_104RestoreConfig();
    }
    EXPECT_EQ(code, 4);
    EXPECT_EQ(sg_DownloadContext.ComPort, dwl_DefaultContext().ComPort);
}

TEST_F(ConfigFile, BytesThatAreNoTextDoNotUpsetTheReader) {
    std::string junk = "CLA File : ";
    junk += image;
    junk += "\r\nCOM : 1";
    junk.push_back('\0');
    junk += "\r\nPMU : 0\r\nProduct Type : 1\r\nDownload Type : 0\r\n";
    testsupport::writeBytes(bench.file("config.txt"), junk);
    EXPECT_EQ(dwl51_104RestoreConfig(), 1);
    EXPECT_EQ(sg_DownloadContext.ComPort, 1);
    testsupport::writeBytes(bench.file("config.txt"), std::string("CLA File : "));
    EXPECT_EQ(dwl51_104RestoreConfig(), 6);
}

} // namespace

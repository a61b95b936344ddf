// Which window and message a result record gets.
#include "session/dwl_progress.h"
#include "session/dwl_results.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

struct Row {
    int32_t family;
    int32_t code;
    const char* file; // nullptr: no window
    int panel;
    const char* message; // nullptr: no message
};

const Row kRows[] = {
    {0, 0, "mmi.uir", 8, nullptr},
    {0, 1234, "mmi.uir", 8, nullptr},
    {1, 0, "Utility.uir", 7, "Error during the download"},
    {2, 2, "Utility.uir", 6, "FLASH DESCRIPTION : The file flash.txt not found"},
    {2, 11, "Utility.uir", 6,
     "FLASH DESCRIPTION : Problem with parameter START_SECTOR_DESCRITPION in the file flash.txt"},
    {2, 16, "Utility.uir", 6,
     "FLASH DESCRIPTION : There are too many flash description in the file flash.txt "},
    {2, 19, "Utility.uir", 6, "FLASH DESCRIPTION : A sector number is not rigth "},
    {2, 20, "Utility.uir", 6, "FLASH DESCRIPTION : Not enough sector to download this software"},
    {2, 21, "Utility.uir", 6,
     "FLASH DESCRIPTION : A sector size is not a power of two (see the log for its line)"},
    {2, 22, "Utility.uir", 6, "FLASH DESCRIPTION : The file flash.txt problem"},
    {2, 1, "Utility.uir", 6, "FLASH DESCRIPTION : The file flash.txt problem"},
    {3, 2, "Utility.uir", 5, "There is no configuration file "},
    {3, 3, "Utility.uir", 5, "Impossible to find the sofware file "},
    {3, 4, "Utility.uir", 5, "There is a problem in configuration file "},
    {3, 14, "Utility.uir", 5, "Bad download type description in configuration file "},
    {5, 2, "Utility.uir", 8, "LIB_PC : The calculation of the file size create an error"},
    {5, 5, "Utility.uir", 8, "LIB_PC : Bad length when you want to convert Little - big indien"},
    {5, -2, "Utility.uir", 8, "LIB_PC : Default error number _ 0xfffffffe"},
    {5, 9, "Utility.uir", 8, "LIB_PC : Default error number _ 0x       9"},
    {6, 4, "mmi.uir", 7, nullptr},
    {6, 3, "Utility.uir", 1, "BOOT : The bootstrap (SPM) is too long"},
    {6, 5, "Utility.uir", 1, "BOOT : Problem during the boot sequence"},
    {6, 9, "Utility.uir", 1, "BOOT : Chip select requested is impossible"},
    {6, 15, "Utility.uir", 1, "BOOT : The manufacturer of terminal GSM flash is unknown"},
    {6, 0x000A0301, "Utility.uir", 1, "BOOT : Problem during the boot sequence"},
    {8, 2, "Utility.uir", 3, "COMMAND : Bad command acknowledge "},
    {8, 15, "Utility.uir", 3, "COMMAND : Erase processing failed DQ6 bis"},
    {8, 16, "Utility.uir", 3, "COMMAND : Erase processing default aborted"},
    {8, 18, "Utility.uir", 3, "COMMAND : bad read command parameter"},
    {8, 20, "Utility.uir", 3, "COMMAND : Switch off error "},
    {8, 21, "Utility.uir", 3, "COMMAND : Command error "},
    // The raw byte 0x16 is no format failure; that has a code no byte can take.
    {8, 0x16, "Utility.uir", 3, "COMMAND : Command error "},
    {8, DWL_CODE_FORMAT_FAILED, "Utility.uir", 3, "COMMAND : Flash format failed "},
    {8, 0x9D, "Utility.uir", 3, "COMMAND : Command error "},
    {9, 0, "Utility.uir", 7, "Problem : Bad acknowledge when the sector download start"},
    {10, 0, "Utility.uir", 7, "Problem : Error during the sector donwload"},
    {11, 0, "Utility.uir", 7, "Problem : Error acknowledge during the sector donwload"},
    {12, 0, "Utility.uir", 7, "Problem : Bad checksum"},
    {13, 0, "Utility.uir", 7, "Timeout during the download"},
    {19, 0x9D, "Utility.uir", 7, "TFS Start ERROR : 157(0x9d)"},
    {20, 7, "Utility.uir", 7, "TFS Version ERROR"},
    {21, 5, "Utility.uir", 7, "TFS Version Data ERROR : 5(0x5 : 5)"},
    {22, 1, "Utility.uir", 7, "TFS Make Path ERROR"},
    {23, 1, "Utility.uir", 7, "TFS NB Path ERROR"},
    {24, 0xF0, "Utility.uir", 7, "TFS Path Data ERROR : 240(0xf0 : -16)"},
    {29, 0x17F, "Utility.uir", 7, "TFS End File Info ERROR : 383(0x17f : 127)"},
    {32, -1, "Utility.uir", 7, "TFS File Data ERROR : -1(0xffffffff : -1)"},
    {33, 0x00030041, "Utility.uir", 7, "TFS Close File(3th) ERROR : 65(0x41)"},
    {33, 0, "Utility.uir", 7, "TFS Close File(0th) ERROR : 0(0x0)"},
    {4, 1, nullptr, 0, nullptr},
    {7, 1, nullptr, 0, nullptr},
    {14, 1, nullptr, 0, nullptr},
    {16, 1, nullptr, 0, nullptr},
    {17, 1, nullptr, 0, nullptr},
    {34, 1, nullptr, 0, nullptr},
    {-1, 1, nullptr, 0, nullptr},
    {INT32_MIN, 1, nullptr, 0, nullptr},
};

TEST(ResultWindow, EveryFamilyGetsItsWindowAndMessage) {
    for (const Row& row : kRows) {
        SCOPED_TRACE("family " + std::to_string(row.family) + " code " + std::to_string(row.code));
        const ResultWindow w = dwl_ResultWindow(row.family, row.code, 0);
        if (row.file == nullptr) {
            EXPECT_EQ(w.layoutFile, nullptr);
            EXPECT_FALSE(w.hasMessage);
            continue;
        }
        ASSERT_NE(w.layoutFile, nullptr);
        EXPECT_STREQ(w.layoutFile, row.file);
        EXPECT_EQ(w.panel, row.panel);
        EXPECT_EQ(w.hasMessage, row.message != nullptr);
        if (row.message != nullptr) {
            EXPECT_STREQ(w.message, row.message);
        }
    }
}

TEST(ResultWindow, TfsSizeMessageCarriesTheDescriptionTotalTwice) {
    const ResultWindow w = dwl_ResultWindow(18, 18, 0x1000);
    EXPECT_STREQ(w.layoutFile, "Utility.uir");
    EXPECT_EQ(w.panel, 7);
    EXPECT_STREQ(w.message,
                 "The size of the TFS OGM File is Wrong.\n(Available size=4096(0x00001000))");
}

TEST(ResultWindow, MessagesStayInsideTheBufferForExtremeCodes) {
    const int32_t codes[] = {INT32_MIN, INT32_MAX, -1, 0, 0x7FFF0080};
    for (int32_t family = -2; family <= 35; family++) {
        for (int32_t code : codes) {
            const ResultWindow w = dwl_ResultWindow(family, code, UINT32_MAX);
            const size_t len = strnlen(w.message, sizeof w.message);
            EXPECT_LT(len, sizeof w.message) << family << "/" << code;
            if (!w.hasMessage) {
                EXPECT_EQ(len, 0u);
            }
        }
    }
    EXPECT_STREQ(dwl_ResultWindow(33, INT32_MIN, 0).message,
                 "TFS Close File(32768th) ERROR : 0(0x0)");
    EXPECT_STREQ(dwl_ResultWindow(24, INT32_MIN, 0).message,
                 "TFS Path Data ERROR : -2147483648(0x80000000 : 0)");
}

TEST(DescriptionMessages, KnownCodesAndDefaults) {
    EXPECT_STREQ(dwl_FlashFileMessage(17),
                 "FLASH DESCRIPTION : A flash description has to many number of sector ");
    EXPECT_STREQ(dwl_FlashFileMessage(0), "FLASH DESCRIPTION : The file flash.txt problem");
    EXPECT_STREQ(dwl_ConfigFileMessage(9), "The PMU state in configuration file is not rigth ");
    EXPECT_STREQ(dwl_ConfigFileMessage(7), "There is a problem in configuration file ");
    EXPECT_STREQ(dwl_ConfigFileMessage(8), "There is a problem in configuration file ");
    EXPECT_STREQ(dwl_TfsFileMessage(2), "TFS DESCRIPTION : The file tfs.cfg not found");
    EXPECT_STREQ(dwl_TfsFileMessage(11), "TFS DESCRIPTION : There are too many files");
    EXPECT_STREQ(dwl_TfsFileMessage(12),
                 "TFS DESCRIPTION : Problem with parameter END_TFS in the file tfs.cfg");
    EXPECT_STREQ(dwl_TfsFileMessage(13), "TFS DESCRIPTION : The file tfs.cfg problem");
    EXPECT_STREQ(dwl_TfsFileMessage(-5), "TFS DESCRIPTION : The file tfs.cfg problem");
}

// The time every front end shows beside the progress: minutes and seconds under an hour.
TEST(TimeText, MinutesAndSecondsUnderAnHourHoursFromItUnknownBeyond) {
    const std::pair<double, const char*> cases[] = {
        {-1, "--:--"},        {0, "00:00"},        {59.4, "00:59"},   {59.5, "01:00"},
        {3599.4, "59:59"},    {3599.5, "1:00:00"}, {3600, "1:00:00"}, {36000, "10:00:00"},
        {359999, "99:59:59"}, {359999.5, "--:--"},
    };
    for (auto [seconds, text] : cases)
        EXPECT_EQ(dwl_TimeText(seconds), text) << seconds;
}

} // namespace

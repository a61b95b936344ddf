// Every fixed text of the result windows, written out once from the tables of result messages,
// so that a typo in any of them shows.
#include "session/dwl_results.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int32_t kTfsWindow = -1; // the TFS description window, which has no family

struct Text {
    int32_t family;
    int32_t code;
    const char* text;
};

const Text kTexts[] = {
    {1, 0, "Error during the download"},
    // Flash description.
    {2, 2, "FLASH DESCRIPTION : The file flash.txt not found"},
    {2, 3, "FLASH DESCRIPTION : Problem with parameter NEW_FLASH in the file flash.txt"},
    {2, 4, "FLASH DESCRIPTION : Problem with parameter MANUFACTURER_NAME in the file flash.txt"},
    {2, 5, "FLASH DESCRIPTION : Problem with parameter DEVICE_NAME in the file flash.txt"},
    {2, 6, "FLASH DESCRIPTION : Problem with parameter BASEBAND_PRODUCT in the file flash.txt"},
    {2, 7, "FLASH DESCRIPTION : Problem with parameter MANUFACTURER_ID in the file flash.txt"},
    {2, 8, "FLASH DESCRIPTION : Problem with parameter DEVICE_ID in the file flash.txt"},
    {2, 9, "FLASH DESCRIPTION : Problem with parameter NB_BANKS in the file flash.txt"},
    {2, 10, "FLASH DESCRIPTION : Problem with parameter NB_SECTORS in the file flash.txt"},
    {2, 11,
     "FLASH DESCRIPTION : Problem with parameter START_SECTOR_DESCRITPION in the file flash.txt"},
    {2, 12, "FLASH DESCRIPTION : Problem with parameter END_FLASH in the file flash.txt"},
    {2, 13, "FLASH DESCRIPTION : Problem with parameter BAD_SECTOR_START in the file flash.txt"},
    {2, 14, "FLASH DESCRIPTION : Problem with parameter BAD_SECTOR_END in the file flash.txt"},
    {2, 15,
     "FLASH DESCRIPTION : The flash id is not known (Not description in the file flash.txt)"},
    {2, 16, "FLASH DESCRIPTION : There are too many flash description in the file flash.txt "},
    {2, 17, "FLASH DESCRIPTION : A flash description has to many number of sector "},
    {2, 18, "FLASH DESCRIPTION : Impossible to find the sector starting at this address"},
    {2, 19, "FLASH DESCRIPTION : A sector number is not rigth "},
    {2, 20, "FLASH DESCRIPTION : Not enough sector to download this software"},
    {2, 21, "FLASH DESCRIPTION : A sector size is not a power of two (see the log for its line)"},
    {2, 22, "FLASH DESCRIPTION : The file flash.txt problem"},
    // Configuration file.
    {3, 2, "There is no configuration file "},
    {3, 3, "Impossible to find the sofware file "},
    {3, 4, "There is a problem in configuration file "},
    {3, 5, "The com number in configuration file is not rigth "},
    {3, 6, "Bad com description in configuration file "},
    {3, 7, "There is a problem in configuration file "},
    {3, 8, "There is a problem in configuration file "},
    {3, 9, "The PMU state in configuration file is not rigth "},
    {3, 10, "Bad PMU description in configuration file "},
    {3, 11, "The product type state in configuration file is not rigth "},
    {3, 12, "Bad product type description in configuration file "},
    {3, 13, "The download type state in configuration file is not rigth "},
    {3, 14, "Bad download type description in configuration file "},
    // PC library.
    {5, 2, "LIB_PC : The calculation of the file size create an error"},
    {5, 3, "LIB_PC : File not found"},
    {5, 4, "LIB_PC : The size of the SPM is too long"},
    {5, 5, "LIB_PC : Bad length when you want to convert Little - big indien"},
    {5, 6, "LIB_PC : The image file is empty"},
    {5, 7, "LIB_PC : Default error number _ 0x       7"},
    {5, -2, "LIB_PC : Default error number _ 0xfffffffe"},
    // Boot.
    {6, 2, "BOOT : The bootstrap (SPM) is not present on the disk"},
    {6, 3, "BOOT : The bootstrap (SPM) is too long"},
    {6, 5, "BOOT : Problem during the boot sequence"},
    {6, 6, "BOOT : Problem during the boot sequence"},
    {6, 7, "BOOT : BOOT FROM A PCF5087. Please select a project specific to a PCF5087"},
    {6, 8, "BOOT : The processor does not known, Acknowledge unknown"},
    {6, 9, "BOOT : Chip select requested is impossible"},
    {6, 10, "BOOT : Bad acknowledge receive from the mobile (Transmission problem)"},
    {6, 11, "BOOT : Problem with program in external RAM : StackPointer not set"},
    {6, 12, "BOOT : Bad acknowledgement during the identification of the flash"},
    {6, 13, "BOOT : Timeout during the flash identification"},
    {6, 14, "BOOT : The terminal GSM flash id is unknown"},
    {6, 15, "BOOT : The manufacturer of terminal GSM flash is unknown"},
    // Commands.
    {8, 2, "COMMAND : Bad command acknowledge "},
    {8, 3, "COMMAND : Command error "},
    {8, 6, "COMMAND : Command error "},
    {8, 7, "COMMAND : Bad change speed acknowledge "},
    {8, 8, "COMMAND : Bad change speed checksum "},
    {8, 9, "COMMAND : Speed control err "},
    {8, 10, "COMMAND : bad set PMU acknowledge "},
    {8, 11, "COMMAND : bad erase command acknowledge "},
    {8, 12, "COMMAND : Erase processing aborted "},
    {8, 13, "COMMAND : Erase processing failed "},
    {8, 14, "COMMAND : Erase processing failed DQ6 "},
    {8, 15, "COMMAND : Erase processing failed DQ6 bis"},
    {8, 16, "COMMAND : Erase processing default aborted"},
    {8, 17, "COMMAND : bad read command acknowledge "},
    {8, 18, "COMMAND : bad read command parameter"},
    {8, 19, "COMMAND : Checksum error during the read command "},
    {8, 20, "COMMAND : Switch off error "},
    {8, 21, "COMMAND : Command error "},
    // The failed format's code is in the records kept of every run: its number stays.
    {8, 0x116, "COMMAND : Flash format failed "},
    // Sector transfer.
    {9, 0, "Problem : Bad acknowledge when the sector download start"},
    {10, 0, "Problem : Error during the sector donwload"},
    {11, 0, "Problem : Error acknowledge during the sector donwload"},
    {12, 0, "Problem : Bad checksum"},
    {13, 0, "Timeout during the download"},
    {18, 18, "The size of the TFS OGM File is Wrong.\n(Available size=4096(0x00001000))"},
    // TFS commands, code 0x1FF: its low byte is -1 as a signed 8-bit number.
    {19, 0x1FF, "TFS Start ERROR : 511(0x1ff)"},
    {20, 0x1FF, "TFS Version ERROR"},
    {21, 0x1FF, "TFS Version Data ERROR : 511(0x1ff : 511)"},
    {22, 0x1FF, "TFS Make Path ERROR"},
    {23, 0x1FF, "TFS NB Path ERROR"},
    {24, 0x1FF, "TFS Path Data ERROR : 511(0x1ff : -1)"},
    {25, 0x1FF, "TFS End Path ERROR : 511(0x1ff : -1)"},
    {26, 0x1FF, "TFS Number Of File ERROR : 511(0x1ff : -1)"},
    {27, 0x1FF, "TFS File Name ERROR : 511(0x1ff : -1)"},
    {28, 0x1FF, "TFS File Info ERROR : 511(0x1ff : -1)"},
    {29, 0x1FF, "TFS End File Info ERROR : 511(0x1ff : -1)"},
    {30, 0x1FF, "TFS Start Data ERROR : 511(0x1ff : -1)"},
    {31, 0x1FF, "TFS Create File ERROR : 511(0x1ff : -1)"},
    {32, 0x1FF, "TFS File Data ERROR : 511(0x1ff : -1)"},
    {33, 0x00030041, "TFS Close File(3th) ERROR : 65(0x41)"},
    // The TFS description window.
    {kTfsWindow, 2, "TFS DESCRIPTION : The file tfs.cfg not found"},
    {kTfsWindow, 3, "TFS DESCRIPTION : Problem with parameter TFSVERSION in the file tfs.cfg"},
    {kTfsWindow, 4, "TFS DESCRIPTION : Problem with parameter NUM_DIR in the file tfs.cfg"},
    {kTfsWindow, 5, "TFS DESCRIPTION : Problem with parameter MAXFILES in the file tfs.cfg"},
    {kTfsWindow, 6, "TFS DESCRIPTION : Problem with parameter SET_DIR in the file tfs.cfg"},
    {kTfsWindow, 7, "TFS DESCRIPTION : Problem with parameter DIR_NAME in the file tfs.cfg"},
    {kTfsWindow, 8, "TFS DESCRIPTION : Problem with parameter SET_FILE in the file tfs.cfg"},
    {kTfsWindow, 9, "TFS DESCRIPTION : Problem with parameter FILE_NAME in the file tfs.cfg"},
    {kTfsWindow, 10, "TFS DESCRIPTION : Problem with parameter FILE_SIZE in the file tfs.cfg"},
    {kTfsWindow, 11, "TFS DESCRIPTION : There are too many files"},
    {kTfsWindow, 12, "TFS DESCRIPTION : Problem with parameter END_TFS in the file tfs.cfg"},
    {kTfsWindow, 13, "TFS DESCRIPTION : The file tfs.cfg problem"},
};

TEST(ResultTexts, EveryFixedTextAsTheOperatorReadsIt) {
    for (const Text& t : kTexts) {
        SCOPED_TRACE("family " + std::to_string(t.family) + " code " + std::to_string(t.code));
        if (t.family == kTfsWindow) {
            EXPECT_STREQ(dwl_TfsFileMessage(t.code), t.text);
            continue;
        }
        const ResultWindow w = dwl_ResultWindow(t.family, t.code, 0x1000);
        EXPECT_TRUE(w.hasMessage);
        EXPECT_STREQ(w.message, t.text);
        // The description-file windows show the same texts.
        if (t.family == 2) {
            EXPECT_STREQ(dwl_FlashFileMessage(t.code), t.text);
        }
        if (t.family == 3) {
            EXPECT_STREQ(dwl_ConfigFileMessage(t.code), t.text);
        }
    }
}

} // namespace

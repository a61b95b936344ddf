// The result vocabulary: family and code to window and message.
#include "session/dwl_results.h"

#include <cstdio>
#include <cstring>

namespace {

struct CodeMessage {
    int32_t code;
    const char* text;
};

const char* const MMI_FILE = "mmi.uir";
const char* const UTILITY_FILE = "Utility.uir";

// Table A, family 2: flash description file and sector geometry.
const CodeMessage a_FlashFileMessages[] = {
    {2, "FLASH DESCRIPTION : The file flash.txt not found"},
    {3, "FLASH DESCRIPTION : Problem with parameter NEW_FLASH in the file flash.txt"},
    {4, "FLASH DESCRIPTION : Problem with parameter MANUFACTURER_NAME in the file flash.txt"},
    {5, "FLASH DESCRIPTION : Problem with parameter DEVICE_NAME in the file flash.txt"},
    {6, "FLASH DESCRIPTION : Problem with parameter BASEBAND_PRODUCT in the file flash.txt"},
    {7, "FLASH DESCRIPTION : Problem with parameter MANUFACTURER_ID in the file flash.txt"},
    {8, "FLASH DESCRIPTION : Problem with parameter DEVICE_ID in the file flash.txt"},
    {9, "FLASH DESCRIPTION : Problem with parameter NB_BANKS in the file flash.txt"},
    {10, "FLASH DESCRIPTION : Problem with parameter NB_SECTORS in the file flash.txt"},
    {11, "FLASH DESCRIPTION : Problem with parameter START_SECTOR_DESCRITPION in the file "
         "flash.txt"},
    {12, "FLASH DESCRIPTION : Problem with parameter END_FLASH in the file flash.txt"},
    {13, "FLASH DESCRIPTION : Problem with parameter BAD_SECTOR_START in the file flash.txt"},
    {14, "FLASH DESCRIPTION : Problem with parameter BAD_SECTOR_END in the file flash.txt"},
    {15, "FLASH DESCRIPTION : The flash id is not known (Not description in the file "
         "flash.txt)"},
    {16, "FLASH DESCRIPTION : There are too many flash description in the file flash.txt "},
    {17, "FLASH DESCRIPTION : A flash description has to many number of sector "},
    {18, "FLASH DESCRIPTION : Impossible to find the sector starting at this address"},
    {19, "FLASH DESCRIPTION : A sector number is not rigth "},
    {20, "FLASH DESCRIPTION : Not enough sector to download this software"},
    {21, "FLASH DESCRIPTION : A sector size is not a power of two (see the log for its line)"},
};
const char* const FLASH_FILE_DEFAULT = "FLASH DESCRIPTION : The file flash.txt problem";

// Table B, family 3: configuration file.
const CodeMessage a_ConfigFileMessages[] = {
    {2, "There is no configuration file "},
    {3, "Impossible to find the sofware file "},
    {5, "The com number in configuration file is not rigth "},
    {6, "Bad com description in configuration file "},
    {9, "The PMU state in configuration file is not rigth "},
    {10, "Bad PMU description in configuration file "},
    {11, "The product type state in configuration file is not rigth "},
    {12, "Bad product type description in configuration file "},
    {13, "The download type state in configuration file is not rigth "},
    {14, "Bad download type description in configuration file "},
};
const char* const CONFIG_FILE_DEFAULT = "There is a problem in configuration file ";

// Table C, family 5: PC library.
const CodeMessage a_PcLibMessages[] = {
    {2, "LIB_PC : The calculation of the file size create an error"},
    {3, "LIB_PC : File not found"},
    {4, "LIB_PC : The size of the SPM is too long"},
    {5, "LIB_PC : Bad length when you want to convert Little - big indien"},
    {DWL_CODE_EMPTY_FILE, "LIB_PC : The image file is empty"},
};
const char* const PC_LIB_DEFAULT_FORMAT = "LIB_PC : Default error number _ 0x%8x";

// Table D, family 6: boot. Code 4 is the time-out window and has no text.
const CodeMessage a_BootMessages[] = {
    {2, "BOOT : The bootstrap (SPM) is not present on the disk"},
    {3, "BOOT : The bootstrap (SPM) is too long"},
    {7, "BOOT : BOOT FROM A PCF5087. Please select a project specific to a PCF5087"},
    {8, "BOOT : The processor does not known, Acknowledge unknown"},
    {9, "BOOT : Chip select requested is impossible"},
    {10, "BOOT : Bad acknowledge receive from the mobile (Transmission problem)"},
    {11, "BOOT : Problem with program in external RAM : StackPointer not set"},
    {12, "BOOT : Bad acknowledgement during the identification of the flash"},
    {13, "BOOT : Timeout during the flash identification"},
    {14, "BOOT : The terminal GSM flash id is unknown"},
    {15, "BOOT : The manufacturer of terminal GSM flash is unknown"},
};
const char* const BOOT_DEFAULT = "BOOT : Problem during the boot sequence";
constexpr int32_t BOOT_TIMEOUT_CODE = 4;

// Table E, family 8: commands.
const CodeMessage a_CommandMessages[] = {
    {2, "COMMAND : Bad command acknowledge "},
    {7, "COMMAND : Bad change speed acknowledge "},
    {8, "COMMAND : Bad change speed checksum "},
    {9, "COMMAND : Speed control err "},
    {10, "COMMAND : bad set PMU acknowledge "},
    {11, "COMMAND : bad erase command acknowledge "},
    {12, "COMMAND : Erase processing aborted "},
    {13, "COMMAND : Erase processing failed "},
    {14, "COMMAND : Erase processing failed DQ6 "},
    {15, "COMMAND : Erase processing failed DQ6 bis"},
    {16, "COMMAND : Erase processing default aborted"},
    {17, "COMMAND : bad read command acknowledge "},
    {18, "COMMAND : bad read command parameter"},
    {19, "COMMAND : Checksum error during the read command "},
    {20, "COMMAND : Switch off error "},
    {DWL_CODE_FORMAT_FAILED, "COMMAND : Flash format failed "},
};
const char* const COMMAND_DEFAULT = "COMMAND : Command error ";

// The TFS description window.
const CodeMessage a_TfsFileMessages[] = {
    {2, "TFS DESCRIPTION : The file tfs.cfg not found"},
    {3, "TFS DESCRIPTION : Problem with parameter TFSVERSION in the file tfs.cfg"},
    {4, "TFS DESCRIPTION : Problem with parameter NUM_DIR in the file tfs.cfg"},
    {5, "TFS DESCRIPTION : Problem with parameter MAXFILES in the file tfs.cfg"},
    {6, "TFS DESCRIPTION : Problem with parameter SET_DIR in the file tfs.cfg"},
    {7, "TFS DESCRIPTION : Problem with parameter DIR_NAME in the file tfs.cfg"},
    {8, "TFS DESCRIPTION : Problem with parameter SET_FILE in the file tfs.cfg"},
    {9, "TFS DESCRIPTION : Problem with parameter FILE_NAME in the file tfs.cfg"},
    {10, "TFS DESCRIPTION : Problem with parameter FILE_SIZE in the file tfs.cfg"},
    {11, "TFS DESCRIPTION : There are too many files"},
    {12, "TFS DESCRIPTION : Problem with parameter END_TFS in the file tfs.cfg"},
};
const char* const TFS_FILE_DEFAULT = "TFS DESCRIPTION : The file tfs.cfg problem";

// Fixed texts of the generic error window, by family.
const CodeMessage a_GenericMessages[] = {
    {1, "Error during the download"},
    {9, "Problem : Bad acknowledge when the sector download start"},
    {10, "Problem : Error during the sector donwload"},
    {11, "Problem : Error acknowledge during the sector donwload"},
    {12, "Problem : Bad checksum"},
    {13, "Timeout during the download"},
};

// How the TFS command families (19 to 33) fill their message from the code.
enum TfsArgs {
    TFS_NONE,       // fixed text
    TFS_TWO,        // c, c
    TFS_THREE_SAME, // c, c, c
    TFS_THREE_BYTE, // c, c, low byte of c as a signed 8-bit number
    TFS_FILE_INDEX, // high 16 bits of c, low 16 bits twice
};

struct TfsFamilyFormat {
    int32_t family;
    const char* format;
    TfsArgs args;
};

const TfsFamilyFormat a_TfsCommandFormats[] = {
    {19, "TFS Start ERROR : %d(0x%x)", TFS_TWO},
    {20, "TFS Version ERROR", TFS_NONE},
    {21, "TFS Version Data ERROR : %d(0x%x : %d)", TFS_THREE_SAME},
    {22, "TFS Make Path ERROR", TFS_NONE},
    {23, "TFS NB Path ERROR", TFS_NONE},
    {24, "TFS Path Data ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {25, "TFS End Path ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {26, "TFS Number Of File ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {27, "TFS File Name ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {28, "TFS File Info ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {29, "TFS End File Info ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {30, "TFS Start Data ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {31, "TFS Create File ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {32, "TFS File Data ERROR : %d(0x%x : %d)", TFS_THREE_BYTE},
    {33, "TFS Close File(%dth) ERROR : %d(0x%x)", TFS_FILE_INDEX},
};

const char* const TFS_SIZE_FORMAT =
    "The size of the TFS OGM File is Wrong.\n(Available size=%d(0x%08x))";

template <size_t N>
const char* findMessage(const CodeMessage (&table)[N], int32_t code, const char* fallback) {
    for (const CodeMessage& row : table) {
        if (row.code == code) return row.text;
    }
    return fallback;
}

ResultWindow noWindow() {
    ResultWindow w{};
    w.layoutFile = nullptr;
    w.panel = 0;
    w.hasMessage = false;
    return w;
}

ResultWindow window(const char* file, int panel) {
    ResultWindow w{};
    w.layoutFile = file;
    w.panel = panel;
    w.hasMessage = false;
    return w;
}

ResultWindow textWindow(const char* file, int panel, const char* text) {
    ResultWindow w = window(file, panel);
    w.hasMessage = true;
    snprintf(w.message, sizeof w.message, "%s", text);
    return w;
}

ResultWindow tfsCommandWindow(const TfsFamilyFormat& f, int32_t code) {
    ResultWindow w = window(UTILITY_FILE, 7);
    w.hasMessage = true;
    const uint32_t bits = static_cast<uint32_t>(code);
    const int lowByte = static_cast<int8_t>(bits & 0xFFu);
    const int high16 = static_cast<int>(bits >> 16);
    const int low16 = static_cast<int>(bits & 0xFFFFu);
    switch (f.args) {
    case TFS_NONE: snprintf(w.message, sizeof w.message, "%s", f.format); break;
    case TFS_TWO: snprintf(w.message, sizeof w.message, f.format, code, bits); break;
    case TFS_THREE_SAME: snprintf(w.message, sizeof w.message, f.format, code, bits, code); break;
    case TFS_THREE_BYTE:
        snprintf(w.message, sizeof w.message, f.format, code, bits, lowByte);
        break;
    case TFS_FILE_INDEX:
        snprintf(w.message, sizeof w.message, f.format, high16, low16,
                 static_cast<unsigned>(low16));
        break;
    }
    return w;
}

} // namespace

const char* dwl_FlashFileMessage(int32_t code) {
    return findMessage(a_FlashFileMessages, code, FLASH_FILE_DEFAULT);
}

const char* dwl_ConfigFileMessage(int32_t code) {
    return findMessage(a_ConfigFileMessages, code, CONFIG_FILE_DEFAULT);
}

const char* dwl_TfsFileMessage(int32_t code) {
    return findMessage(a_TfsFileMessages, code, TFS_FILE_DEFAULT);
}

ResultWindow dwl_ResultWindow(int32_t family, int32_t code, uint32_t tfsTotalSize) {
    switch (family) {
    case 0: return window(MMI_FILE, 8);
    case 2: return textWindow(UTILITY_FILE, 6, dwl_FlashFileMessage(code));
    case 3: return textWindow(UTILITY_FILE, 5, dwl_ConfigFileMessage(code));
    case 5: {
        const char* fixed = findMessage(a_PcLibMessages, code, nullptr);
        if (fixed != nullptr) return textWindow(UTILITY_FILE, 8, fixed);
        ResultWindow w = window(UTILITY_FILE, 8);
        w.hasMessage = true;
        snprintf(w.message, sizeof w.message, PC_LIB_DEFAULT_FORMAT, static_cast<uint32_t>(code));
        return w;
    }
    case 6:
        if (code == BOOT_TIMEOUT_CODE) return window(MMI_FILE, 7);
        return textWindow(UTILITY_FILE, 1, findMessage(a_BootMessages, code, BOOT_DEFAULT));
    case 8:
        return textWindow(UTILITY_FILE, 3, findMessage(a_CommandMessages, code, COMMAND_DEFAULT));
    case 18: {
        ResultWindow w = window(UTILITY_FILE, 7);
        w.hasMessage = true;
        snprintf(w.message, sizeof w.message, TFS_SIZE_FORMAT, static_cast<int>(tfsTotalSize),
                 tfsTotalSize);
        return w;
    }
    default: break;
    }
    const char* generic = findMessage(a_GenericMessages, family, nullptr);
    if (generic != nullptr) return textWindow(UTILITY_FILE, 7, generic);
    for (const TfsFamilyFormat& f : a_TfsCommandFormats) {
        if (f.family == family) return tfsCommandWindow(f, code);
    }
    return noWindow();
}

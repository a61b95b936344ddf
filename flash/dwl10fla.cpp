// The flash description file: every flash chip the tool can program, read into a table.
#include "flash/dwl10fla.h"

#include "flash/dwl10text.h"
#include "link/dwl12datafiles.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

FlashDescriptionTable vg_FlashDescritpion;

// Line buffer of a sector line: the line with its CR.
constexpr uint32_t DWL_SECTOR_LINE_SIZE = 40;
constexpr uint32_t DWL_NAME_CHARS = 14;

static bool dwl10_IsProductKeywordChar(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Line 4: "<FAMILY>_PRODUCT : " and any text, which is skipped. The prefix names a baseband
// family and is not checked.
static int dwl10_23SkipProductLine(DescriptionText* text) {
    static const char suffix[] = "_PRODUCT";
    const uint32_t suffixLength = sizeof(suffix) - 1;
    uint32_t end = text->Pos;
    while (end < text->Length && dwl10_IsProductKeywordChar(text->Data[end]))
        end++;
    uint32_t wordLength = end - text->Pos;
    if (wordLength < suffixLength ||
        memcmp(text->Data + end - suffixLength, suffix, suffixLength) != 0) {
        return 6;
    }
    if (text->Length - end < 3 || memcmp(text->Data + end, " : ", 3) != 0) return 6;
    uint32_t cr = 0;
    if (!dwl10_13FindLineEnd(text, end + 3, &cr)) return 6;
    text->Pos = cr;
    dwl10_12StepOver(text, 2);
    return 1;
}

// Scans [from, to) for the first of the given separators; false when none is there.
static bool dwl10_FindSeparator(const char* line, uint32_t from, uint32_t to, const char* seps,
                                uint32_t* at) {
    for (uint32_t i = from; i < to; i++) {
        if (strchr(seps, line[i]) != nullptr && line[i] != '\0') {
            *at = i;
            return true;
        }
    }
    return false;
}

// One sector line (without its LF, CR included) applied to the description. 1, 13 or 14.
// lineNumber: where it stands in the file, for a size that no flash has.
static int dwl10_24ApplySectorLine(const char* line, uint32_t lineLength, uint32_t lineNumber,
                                   FlashDescription* flash) {
    // The line ends at its CR; a sector line without one is malformed.
    if (lineLength == 0 || line[lineLength - 1] != '\r') return 13;
    uint32_t end = lineLength - 1;
    const uint8_t* bytes = (const uint8_t*)line;

    uint32_t sep = 0;
    if (!dwl10_FindSeparator(line, 0, end, "-*", &sep)) return 13;
    uint16_t first = (uint16_t)dwl10_14DecimalValue(bytes, sep);
    if (first >= flash->NbSectors) return 13;
    uint16_t last = first;
    uint32_t next = sep + 1;
    if (line[sep] == '-') {
        uint32_t star = 0;
        if (!dwl10_FindSeparator(line, next, end, "*", &star)) return 14;
        last = (uint16_t)dwl10_14DecimalValue(bytes + next, star - next);
        if (last >= flash->NbSectors) return 14;
        next = star + 1;
    } else {
        // The size follows the first asterisk directly.
    }
    uint32_t star = 0;
    if (!dwl10_FindSeparator(line, next, end, "*", &star)) return 13;
    uint32_t size = (uint32_t)dwl10_14DecimalValue(bytes + next, star - next);
    uint8_t bank = (uint8_t)dwl10_14DecimalValue(bytes + star + 1, end - (star + 1));
    if (!dwl10_7SectorSizeExists(size) && flash->BadSizeLine == 0) {
        flash->BadSizeLine = lineNumber;
        flash->BadSize = size;
    }
    for (uint32_t s = first; s <= last; s++) {
        flash->Sector[s].Bank = bank;
        flash->Sector[s].Size = size;
    }
    return 1;
}

// The sector lines up to END_SECTOR_DESCRIPTION. 1, 12, 13 or 14.
static int dwl10_25ReadSectorLines(DescriptionText* text, FlashDescription* flash) {
    for (;;) {
        char line[DWL_SECTOR_LINE_SIZE];
        memset(line, 0, sizeof line);
        uint32_t start = text->Pos;
        uint32_t lf = start;
        while (lf < text->Length && text->Data[lf] != '\n')
            lf++;
        bool hasLf = lf < text->Length;
        uint32_t lineLength = lf - start;
        if (dwl10_10AtKeyword(text, "END_SECTOR_DESCRIPTION") &&
            lineLength >= sizeof("END_SECTOR_DESCRIPTION") - 1) {
            text->Pos = hasLf ? lf + 1 : text->Length;
            return 1;
        }
        // Nothing but the end of the data: the sector lines were never closed.
        if (lineLength == 0 && !hasLf) return 12;
        if (!hasLf || lineLength > DWL_SECTOR_LINE_SIZE) return 13;
        memcpy(line, text->Data + start, lineLength);
        text->Pos = lf + 1;
        uint32_t lineNumber = 1;
        for (uint32_t i = 0; i < start; i++)
            lineNumber += text->Data[i] == '\n' ? 1 : 0;
        int result = dwl10_24ApplySectorLine(line, lineLength, lineNumber, flash);
        if (result != 1) return result;
    }
}

// One block, from the line after NEW_FLASH to END_FLASH.
static int dwl10_26ReadBlock(DescriptionText* text, FlashDescription* flash) {
    int result = dwl10_20ReadTextLine(text, "MANUFACTURER_NAME : ", flash->ManufacturerName,
                                      DWL_NAME_CHARS, sizeof flash->ManufacturerName, 4);
    if (result != 1) return result;
    result = dwl10_20ReadTextLine(text, "DEVICE_NAME : ", flash->DeviceName, DWL_NAME_CHARS,
                                  sizeof flash->DeviceName, 5);
    if (result != 1) return result;
    result = dwl10_23SkipProductLine(text);
    if (result != 1) return result;

    // Numbers of any length: atoi reads what it can and stops at the first other character.
    int32_t value = 0;
    result = dwl10_21ReadNumberLineUpTo(text, "MANUFACTURER_ID : ", UINT32_MAX, &value, 7);
    if (result != 1) return result;
    flash->ManufacturerId = (uint8_t)value;
    result = dwl10_21ReadNumberLineUpTo(text, "DEVICE_ID : ", UINT32_MAX, &value, 8);
    if (result != 1) return result;
    flash->DeviceId = (uint8_t)value;
    result = dwl10_21ReadNumberLineUpTo(text, "NB_BANKS : ", UINT32_MAX, &value, 9);
    if (result != 1) return result;
    flash->NbBanks = (uint8_t)value;
    result = dwl10_21ReadNumberLineUpTo(text, "NB_SECTORS : ", UINT32_MAX, &value, 10);
    if (result != 1) return result;
    // A count above the table is refused without being kept, so that no query walks past it.
    if ((uint32_t)value > DWL_MAX_SECTORS) return 17;
    flash->NbSectors = (uint32_t)value;

    result = dwl10_18ReadBareKeyword(text, "START_SECTOR_DESCRITPION", 11);
    if (result != 1) return result;
    result = dwl10_25ReadSectorLines(text, flash);
    if (result != 1) return result;
    result = dwl10_18ReadBareKeyword(text, "END_FLASH", 12);
    if (result != 1) return result;

    uint32_t total = 0;
    for (uint32_t s = 0; s < flash->NbSectors; s++)
        total += flash->Sector[s].Size;
    flash->FlashSize = total;
    return 1;
}

int dwl10_102ParseFlashDescription(const uint8_t* data, uint32_t length,
                                   FlashDescriptionTable* table) {
    memset(table, 0, sizeof *table);
    DescriptionText text = {data, data == nullptr ? 0 : length, 0};
    while (text.Pos < text.Length) {
        uint8_t c = text.Data[text.Pos];
        if (c == '#' || c == '\r') {
            dwl10_11SkipLine(&text);
            continue;
        }
        int result = dwl10_18ReadBareKeyword(&text, "NEW_FLASH", 3);
        if (result != 1) return result;
        if (table->NbFlash >= DWL_MAX_FLASH) return 16;
        FlashDescription* flash = &table->Flash[table->NbFlash];
        table->NbFlash++;
        result = dwl10_26ReadBlock(&text, flash);
        if (result != 1) return result;
    }
    return 1;
}

int dwl10_101InitFlashDescriptionFrom(const char* path) {
    vg_FlashDescritpion.NbFlash = 0;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (dwl10_15ReadWholeFile(path, &data, &length) != 1) return 2;
    int result = dwl10_102ParseFlashDescription(data, length, &vg_FlashDescritpion);
    free(data);
    return result;
}

int dwl10_100InitFlashDescription() {
    return dwl10_101InitFlashDescriptionFrom(dwl12_7DataFile("flash.txt").c_str());
}

int dwl10_500GetFlashIndex(uint8_t manufacturerId, uint8_t deviceId, uint8_t* index) {
    uint8_t count = vg_FlashDescritpion.NbFlash;
    if (count > DWL_MAX_FLASH) count = DWL_MAX_FLASH;
    for (uint8_t i = 0; i < count; i++) {
        const FlashDescription* flash = &vg_FlashDescritpion.Flash[i];
        if (flash->DeviceId == deviceId && flash->ManufacturerId == manufacturerId) {
            *index = i;
            return 1;
        }
    }
    return 15;
}

#include "flash/dwl10text.h"

#include "link/dwl12pclib.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool dwl10_10AtKeyword(const DescriptionText* text, const char* keyword) {
    uint32_t n = (uint32_t)strlen(keyword);
    if (text->Pos > text->Length || text->Length - text->Pos < n) return false;
    return memcmp(text->Data + text->Pos, keyword, n) == 0;
}

void dwl10_11SkipLine(DescriptionText* text) {
    while (text->Pos < text->Length) {
        uint8_t c = text->Data[text->Pos];
        text->Pos++;
        if (c == '\n') return;
    }
}

void dwl10_12StepOver(DescriptionText* text, uint32_t count) {
    if (text->Pos >= text->Length || text->Length - text->Pos < count) {
        text->Pos = text->Length;
    } else {
        text->Pos += count;
    }
}

bool dwl10_13FindLineEnd(const DescriptionText* text, uint32_t from, uint32_t* crPos) {
    for (uint32_t i = from; i < text->Length; i++) {
        if (text->Data[i] == '\r') {
            *crPos = i;
            return true;
        }
        if (text->Data[i] == '\n') return false;
    }
    return false;
}

static bool dwl10_IsSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t dwl10_14DecimalValue(const uint8_t* text, uint32_t length) {
    uint32_t i = 0;
    while (i < length && dwl10_IsSpace(text[i]))
        i++;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
    }
    // Accumulate the magnitude, clamped as strtol clamps a 32-bit long.
    const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint32_t magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; i++) {
        uint32_t digit = (uint32_t)(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    return (int32_t)(negative ? 0u - magnitude : magnitude);
}

int dwl10_15ReadWholeFile(const char* path, uint8_t** data, uint32_t* length) {
    *data = nullptr;
    *length = 0;
    FILE* file = dwl12_10OpenWholeFile(path);
    if (file == nullptr) return 2;
    long size = 0;
    if (dwl12_2CalculateLengthOfFile(path, &size) != 1 || size < 0 ||
        (unsigned long)size > 0xFFFFFFFFul) {
        fclose(file);
        return 2;
    }
    // One spare byte so that an empty file still gets a block.
    uint8_t* block = (uint8_t*)malloc((size_t)size + 1);
    if (block == nullptr) {
        fclose(file);
        return 2;
    }
    size_t got = fread(block, 1, (size_t)size, file);
    fclose(file);
    if (got != (size_t)size) {
        free(block);
        return 2;
    }
    *data = block;
    *length = (uint32_t)size;
    return 1;
}

bool dwl10_16KeywordValue(const DescriptionText* text, const char* keyword, uint32_t* from,
                          uint32_t* cr) {
    if (!dwl10_10AtKeyword(text, keyword)) return false;
    *from = text->Pos + (uint32_t)strlen(keyword);
    return dwl10_13FindLineEnd(text, *from, cr);
}

void dwl10_17EndOfValueLine(DescriptionText* text, uint32_t cr) {
    text->Pos = cr;
    dwl10_12StepOver(text, 2);
}

int dwl10_18ReadBareKeyword(DescriptionText* text, const char* keyword, int errorCode) {
    if (!dwl10_10AtKeyword(text, keyword)) return errorCode;
    dwl10_12StepOver(text, (uint32_t)strlen(keyword) + 2);
    return 1;
}

int dwl10_19ReadNumberLine(DescriptionText* text, const char* keyword, int32_t* value,
                           int errorCode) {
    return dwl10_21ReadNumberLineUpTo(text, keyword, DWL_MAX_NUMBER_TEXT, value, errorCode);
}

int dwl10_21ReadNumberLineUpTo(DescriptionText* text, const char* keyword, uint32_t maxChars,
                               int32_t* value, int errorCode) {
    uint32_t from = 0, cr = 0;
    if (!dwl10_16KeywordValue(text, keyword, &from, &cr)) return errorCode;
    if (cr - from > maxChars) return errorCode;
    *value = dwl10_14DecimalValue(text->Data + from, cr - from);
    dwl10_17EndOfValueLine(text, cr);
    return 1;
}

int dwl10_20ReadTextLine(DescriptionText* text, const char* keyword, char* field, uint32_t maxChars,
                         uint32_t fieldSize, int errorCode) {
    uint32_t from = 0, cr = 0;
    if (!dwl10_16KeywordValue(text, keyword, &from, &cr)) return errorCode;
    uint32_t n = cr - from;
    if (n > maxChars || n > fieldSize) return errorCode;
    memcpy(field, text->Data + from, n);
    if (n < fieldSize) field[n] = '\0';
    dwl10_17EndOfValueLine(text, cr);
    return 1;
}

#include "flash/dwl10text.h"

#include "link/dwl12pclib.h"

#include <climits>
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
    // Accumulate the magnitude, clamped as strtol clamps a long.
    const unsigned long long limit =
        negative ? (unsigned long long)LONG_MAX + 1ull : (unsigned long long)LONG_MAX;
    unsigned long long magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; i++) {
        unsigned digit = (unsigned)(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    unsigned long long bits = negative ? (~magnitude + 1ull) : magnitude;
    return (int32_t)(uint32_t)(bits & 0xFFFFFFFFull);
}

int dwl10_15ReadWholeFile(const char* path, uint8_t** data, uint32_t* length) {
    *data = nullptr;
    *length = 0;
    FILE* file = fopen(path, "rb");
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

// Reading the keyword-line text files (flash.txt, the TFS description): a cursor over the bytes
// of a whole file that never looks outside them.
#pragma once

#include <cstdint>

struct DescriptionText {
    const uint8_t* Data;
    uint32_t Length;
    uint32_t Pos;
};

// Longest text of a number value (behind its keyword, up to the CR).
constexpr uint32_t DWL_MAX_NUMBER_TEXT = 19;

// True when the bytes at the position begin with keyword (compared over its own length).
bool dwl10_10AtKeyword(const DescriptionText* text, const char* keyword);
// Moves the position to the byte after the next LF, or to the end when there is none.
void dwl10_11SkipLine(DescriptionText* text);
// Moves the position on by count bytes, never beyond the end.
void dwl10_12StepOver(DescriptionText* text, uint32_t count);
// The value of a keyword line runs from `from` to the CR that ends the line. Gives that CR's
// position; false when an LF or the end of the data comes before any CR (a line without CR).
bool dwl10_13FindLineEnd(const DescriptionText* text, uint32_t from, uint32_t* crPos);
// Reads a decimal number the way the C library's atoi does on this platform: leading white
// space, an optional sign, the digits up to the first other byte; no digits gives 0. The value
// is a 32-bit long: beyond its range it stays at 2147483647 or -2147483648.
int32_t dwl10_14DecimalValue(const uint8_t* text, uint32_t length);
// Reads a whole file into a new heap block (free with free()). 1, or 2 when the file cannot be
// opened, measured or read.
int dwl10_15ReadWholeFile(const char* path, uint8_t** data, uint32_t* length);

// The value of a keyword line: [*from, *cr). false when the keyword is not there or the line
// has no CR.
bool dwl10_16KeywordValue(const DescriptionText* text, const char* keyword, uint32_t* from,
                          uint32_t* cr);
// Steps over the value's CR and the LF behind it.
void dwl10_17EndOfValueLine(DescriptionText* text, uint32_t cr);
// A keyword that stands alone on its line: the keyword and the two bytes of its line end.
// 1, or errorCode.
int dwl10_18ReadBareKeyword(DescriptionText* text, const char* keyword, int errorCode);
// A keyword line with a decimal value of at most DWL_MAX_NUMBER_TEXT characters. 1 and the
// value, or errorCode.
int dwl10_19ReadNumberLine(DescriptionText* text, const char* keyword, int32_t* value,
                           int errorCode);
// The same with a value of at most maxChars characters (UINT32_MAX: any length).
int dwl10_21ReadNumberLineUpTo(DescriptionText* text, const char* keyword, uint32_t maxChars,
                               int32_t* value, int errorCode);
// A keyword line with a text value of at most maxChars characters, copied into a field of
// fieldSize bytes and NUL-terminated when it is shorter than the field. 1, or errorCode.
int dwl10_20ReadTextLine(DescriptionText* text, const char* keyword, char* field, uint32_t maxChars,
                         uint32_t fieldSize, int errorCode);

#include "app/options/unit_scan.h"

#include <cstdio>

namespace dwlcli {

namespace {

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The characters of UTF-8 text; -1 when it is not UTF-8 (a stray byte, an overlong or cut
// sequence, a surrogate).
long utf8Chars(const std::string& text) {
    long count = 0;
    for (size_t i = 0; i < text.size(); count++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xe  ? 3
                        : (c >> 3) == 0x1e ? 4
                                           : 0;
        if (length == 0 || i + length > text.size()) return -1;
        unsigned long code = length == 1 ? c : c & (0x7f >> length);
        for (size_t k = 1; k < length; k++) {
            const unsigned char more = static_cast<unsigned char>(text[i + k]);
            if ((more & 0xc0) != 0x80) return -1;
            code = (code << 6) | (more & 0x3f);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return -1;
        i += length;
    }
    return count;
}

} // namespace

std::string trimmedUnitId(const std::string& scan) {
    size_t begin = 0, end = scan.size();
    while (begin < end && space(scan[begin]))
        begin++;
    while (end > begin && space(scan[end - 1]))
        end--;
    return scan.substr(begin, end - begin);
}

std::string unitIdProblem(const std::string& given) {
    const std::string unit = trimmedUnitId(given);
    if (unit.empty()) return "the unit's label is empty";
    for (unsigned char c : unit)
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02x", c);
            return std::string("the unit's label holds a control character (") + hex + ")";
        }
    const long chars = utf8Chars(unit);
    if (chars < 0) return "the unit's label is not UTF-8 text";
    if (chars > static_cast<long>(kUnitIdMaxChars))
        return "the unit's label is " + std::to_string(chars) + " characters long (at most " +
               std::to_string(kUnitIdMaxChars) + ")";
    return "";
}

bool parseUnitScanLine(const std::string& line, std::string* port, std::string* unitId,
                       std::string* why) {
    const std::string text = trimmedUnitId(line);
    size_t gap = 0;
    while (gap < text.size() && !space(text[gap]))
        gap++;
    *port = text.substr(0, gap);
    *unitId = trimmedUnitId(text.substr(gap));
    if (port->empty()) {
        *why = "an empty line: give PORT ID";
        return false;
    }
    if (unitId->empty()) {
        *why = "no unit after the port " + *port + ": give PORT ID";
        return false;
    }
    why->clear();
    return true;
}

} // namespace dwlcli

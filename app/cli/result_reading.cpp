#include "app/cli/result_reading.h"

#include "session/dwl_results.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"

#include <cctype>
#include <cstdlib>
#include <set>
#include <vector>

namespace dwlcli {

namespace {

// The numbers a message carries (decimal and 0x hexadecimal), as candidate codes.
std::set<long long> numbersIn(const std::string& text) {
    std::set<long long> out;
    for (size_t i = 0; i < text.size(); i++) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) continue;
        if (i > 0 && std::isalnum(static_cast<unsigned char>(text[i - 1]))) continue;
        const bool hex = text.compare(i, 2, "0x") == 0;
        char* end = nullptr;
        const long long v = std::strtoll(text.c_str() + i + (hex ? 2 : 0), &end, hex ? 16 : 10);
        out.insert(v);
        out.insert(static_cast<int32_t>(static_cast<uint32_t>(v)));
        if (i > 0 && text[i - 1] == '-') out.insert(-v);
        i = static_cast<size_t>(end - text.c_str());
    }
    return out;
}

// Codes whose message for the family equals the text.
std::vector<int> codesFor(int family, const std::string& text, unsigned tfsTotalSize,
                          const char* (*table)(int32_t)) {
    std::set<long long> candidates = numbersIn(text);
    for (int c = -300; c <= 300; c++)
        candidates.insert(c);
    // Close File: the file's index in the high 16 bits.
    for (long long a : numbersIn(text))
        for (long long b : numbersIn(text))
            candidates.insert((a << 16) | (b & 0xFFFF));
    std::vector<int> out;
    for (long long c : candidates) {
        if (c < INT32_MIN || c > INT32_MAX) continue;
        const int32_t code = static_cast<int32_t>(c);
        std::string m;
        if (table != nullptr) {
            m = table(code);
        } else {
            const ResultWindow w = dwl_ResultWindow(family, code, tfsTotalSize);
            if (!w.hasMessage) continue;
            m = w.message;
        }
        if (m == text) out.push_back(code);
    }
    return out;
}

ReadResult withFamily(int family, const std::string& message, unsigned tfsTotalSize,
                      const char* (*table)(int32_t) = nullptr) {
    ReadResult r;
    r.known = true;
    r.family = family;
    r.message = message;
    const std::vector<int> codes = codesFor(family, message, tfsTotalSize, table);
    if (codes.size() == 1) {
        r.hasCode = true;
        r.code = codes[0];
    }
    return r;
}

// The families the generic window serves.
const int a_GenericFamilies[] = {1,  9,  10, 11, 12, 13, 18, 19, 20, 21, 22,
                                 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33};

// Text of a family's message up to where the code is filled in.
std::string fixedPart(int family, unsigned tfsTotalSize) {
    const ResultWindow w = dwl_ResultWindow(family, 0, tfsTotalSize);
    std::string m = w.hasMessage ? w.message : "";
    for (size_t i = 0; i < m.size(); i++)
        if (std::isdigit(static_cast<unsigned char>(m[i]))) return m.substr(0, i);
    return m;
}

} // namespace

ReadResult readResultWindow(const std::string& layoutFile, int panel, const std::string& message,
                            unsigned tfsTotalSize) {
    ReadResult r;
    r.message = message;
    if (layoutFile == "mmi.uir") {
        if (panel == MMI_PANEL_SUCCESS) {
            r.known = true;
            r.family = 0;
            r.hasCode = true;
        } else if (panel == MMI_PANEL_TIMEOUT) {
            r.known = true;
            r.family = 6;
            r.hasCode = true;
            r.code = 4;
        }
        return r;
    }
    if (layoutFile != "Utility.uir") return r;
    switch (panel) {
    case UTIL_PANEL_BOOT_ERR: return withFamily(6, message, tfsTotalSize);
    case UTIL_PANEL_COMMAND_ERR: return withFamily(8, message, tfsTotalSize);
    case UTIL_PANEL_CONF_ERR: return withFamily(3, message, tfsTotalSize, dwl_ConfigFileMessage);
    case UTIL_PANEL_FLASH_ERR: return withFamily(2, message, tfsTotalSize, dwl_FlashFileMessage);
    case UTIL_PANEL_LIBPC_ERR: return withFamily(5, message, tfsTotalSize);
    case UTIL_PANEL_TFS_ERR: {
        ReadResult t = withFamily(-1, message, tfsTotalSize, dwl_TfsFileMessage);
        return t;
    }
    case UTIL_PANEL_GENERIC_ERR: {
        int best = -1;
        size_t bestLength = 0;
        for (int family : a_GenericFamilies) {
            const std::string fixed = fixedPart(family, tfsTotalSize);
            if (fixed.empty() || message.compare(0, fixed.size(), fixed) != 0) continue;
            if (fixed.size() > bestLength) {
                best = family;
                bestLength = fixed.size();
            }
        }
        if (best < 0) {
            r.known = true;
            return r;
        }
        ReadResult g = withFamily(best, message, tfsTotalSize);
        // The image size check is the one producer of family 18, with code 18.
        if (best == 18) {
            g.hasCode = true;
            g.code = 18;
        }
        return g;
    }
    default: return r;
    }
}

} // namespace dwlcli

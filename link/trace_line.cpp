#include "link/trace_line.h"

#include <cerrno>

namespace {

constexpr size_t kSummaryEdge = 16;

const char* whatText(TraceWhat what) {
    switch (what) {
    case TRACE_PC_TO_HS: return "PC>HS";
    case TRACE_HS_TO_PC: return "HS>PC";
    case TRACE_OPEN: return "open";
    case TRACE_CLOSE: return "close";
    case TRACE_SPEED: return "speed";
    case TRACE_DTR: return "DTR";
    case TRACE_TIMEOUT: return "time-out";
    case TRACE_ERROR: return "error";
    }
    return "?";
}

void putHex(FILE* f, const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    char text[3 * 64];
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        if (pos + 3 > sizeof text) {
            std::fwrite(text, 1, pos, f);
            pos = 0;
        }
        if (i > 0) text[pos++] = ' ';
        text[pos++] = digits[bytes[i] >> 4];
        text[pos++] = digits[bytes[i] & 0x0F];
    }
    std::fwrite(text, 1, pos, f);
}

uint32_t byteSum(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

} // namespace

void dwl12_TraceSettings(char* out, size_t size, long baud, int parity, int dataBits,
                         int stopBits) {
    static const char parities[] = "NOEMS";
    const char p = parity >= 0 && parity <= 4 ? parities[parity] : '?';
    std::snprintf(out, size, "%ld %d%c%d", baud, dataBits, p, stopBits);
}

void dwl12_TraceLine(TraceFile* trace, double t, TraceWhat what, const char* settings,
                     const char* step, const uint8_t* bytes, size_t count, const char* detail) {
    if (trace == nullptr || trace->file == nullptr) return;
    FILE* f = trace->file;
    const long long micros = t > 0 ? static_cast<long long>(t * 1e6 + 0.5) : 0;
    std::fprintf(f, "%10lld %-6s %-11s %-24s |", micros, whatText(what),
                 settings != nullptr ? settings : "-", step != nullptr ? step : "-");
    if (bytes != nullptr && count > 0) {
        std::fputc(' ', f);
        if (count > DWL_TRACE_BULK && !trace->fullData) {
            putHex(f, bytes, kSummaryEdge);
            std::fputs(" .. ", f);
            putHex(f, bytes + count - kSummaryEdge, kSummaryEdge);
        } else {
            putHex(f, bytes, count);
        }
        if (count > DWL_TRACE_BULK)
            std::fprintf(f, " (%zu bytes, sum 0x%08X)", count, byteSum(bytes, count));
    } else if (detail != nullptr && *detail != '\0') {
        std::fputc(' ', f);
        std::fputs(detail, f);
    }
    std::fputc('\n', f);
    if (trace->error == 0 && std::ferror(f) != 0) trace->error = errno != 0 ? errno : EIO;
}

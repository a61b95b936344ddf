// The end of a run on the command line: the result line and the JSON summary.
#include "app/cli/operator_session.h"

#include "app/cli/option_values.h"

#include <cmath>

namespace dwlcli {

namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[48];
    snprintf(text, sizeof text, "%.3f", v);
    return text;
}

} // namespace

std::string resultLine(const RunReport& r) {
    std::string line = "result: " + r.result.message;
    if (r.exitStatus != 0) {
        line += " (";
        if (r.result.family > 0) {
            line += "family " + std::to_string(r.result.family);
            if (r.result.hasCode) line += ", code " + std::to_string(r.result.code);
            line += ", ";
        }
        line += "exit " + std::to_string(r.exitStatus) + ")";
    }
    return line;
}

void writeJsonReport(FILE* out, const RunReport& r) {
    fprintf(out, "{\"exit_status\": %d, ", r.exitStatus);
    fprintf(out, "\"result\": {\"family\": %s, \"code\": %s, \"message\": %s}, ",
            r.result.family >= 0 ? std::to_string(r.result.family).c_str() : "null",
            r.result.hasCode ? std::to_string(r.result.code).c_str() : "null",
            jsonString(r.result.message).c_str());
    fprintf(out, "\"port\": %s, \"device\": %s, ", jsonString(r.port).c_str(),
            jsonString(r.device).c_str());
    if (r.mode >= 0)
        fprintf(out, "\"mode\": %d, \"mode_name\": %s, ", r.mode,
                jsonString(modeName(r.mode)).c_str());
    fprintf(out, "\"baud\": %ld, ", r.baud);
    if (r.flashIdentified)
        fprintf(out,
                "\"flash\": {\"manufacturer_id\": %d, \"device_id\": %d, \"manufacturer\": %s, "
                "\"device\": %s}, ",
                r.manufacturerId, r.deviceId, jsonString(r.manufacturerName).c_str(),
                jsonString(r.deviceName).c_str());
    else
        fprintf(out, "\"flash\": null, ");
    fprintf(out, "\"images\": [");
    for (size_t i = 0; i < r.images.size(); i++) {
        const ImageReport& im = r.images[i];
        fprintf(out, "%s{\"kind\": %s, \"path\": %s, \"size\": %ld, \"byte_sum\": %u}",
                i > 0 ? ", " : "", jsonString(im.kind).c_str(), jsonString(im.path).c_str(),
                im.size, static_cast<unsigned>(im.byteSum));
    }
    fprintf(out, "], \"sectors\": [");
    for (size_t i = 0; i < r.sectors.size(); i++) {
        const SectorReport& s = r.sectors[i];
        fprintf(out,
                "%s{\"image\": %s, \"address\": %u, \"size\": %u, \"bytes_sent\": %u, "
                "\"tries\": %d, \"result\": %s}",
                i > 0 ? ", " : "", jsonString(s.image).c_str(), static_cast<unsigned>(s.address),
                static_cast<unsigned>(s.size), static_cast<unsigned>(s.bytesSent), s.tries,
                jsonString(s.result).c_str());
    }
    fprintf(out, "], ");
    const double rate = r.elapsedSeconds > 0 ? r.bytesWritten / r.elapsedSeconds : 0.0;
    fprintf(out, "\"elapsed_seconds\": %s, \"bytes_written\": %llu, \"bytes_per_second\": %s}\n",
            number(r.elapsedSeconds).c_str(), static_cast<unsigned long long>(r.bytesWritten),
            number(rate).c_str());
    fflush(out);
}

} // namespace dwlcli

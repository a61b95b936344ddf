// The end of a run on the command line: the result line, the JSON summary, the end of the log.
#include "app/run/run_report.h"

#include "app/options/option_values.h"
#include "app/run/json_text.h"
#include "flash/dwl10sectormap.h"

#include <cmath>

namespace dwlcli {

namespace {

// Milliseconds are enough for a run's time and rate.
double rounded(double v) {
    return std::isfinite(v) ? std::round(v * 1000.0) / 1000.0 : v;
}

// "family F, code C, " when the run ended with a result record.
std::string familyAndCode(const ReadResult& r) {
    if (r.family < 0) return "";
    std::string text = "family " + std::to_string(r.family);
    if (r.hasCode) text += ", code " + std::to_string(r.code);
    return text + ", ";
}

std::string hexAddress(uint32_t address) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(address));
    return text;
}

} // namespace

std::string resultLine(const RunReport& r) {
    std::string line = "result: " + r.result.message;
    if (r.exitStatus != 0) {
        line += " (";
        if (r.result.family > 0) line += familyAndCode(r.result);
        line += "exit " + std::to_string(r.exitStatus) + ")";
    }
    return line;
}

std::string logResultLine(const RunReport& r) {
    std::string message = r.result.message;
    for (char& c : message)
        if (c == '\n' || c == '\r') c = ' ';
    char elapsed[32];
    snprintf(elapsed, sizeof elapsed, "%.1f s",
             std::isfinite(r.elapsedSeconds) ? r.elapsedSeconds : 0.0);
    return "result: " + message + " (" + familyAndCode(r.result) + "exit " +
           std::to_string(r.exitStatus) + ", " + elapsed + ")";
}

std::vector<std::string> resentSectorLines(const RunReport& r) {
    std::vector<std::string> lines;
    for (const SectorReport& s : r.sectors)
        if (s.result == "resent")
            lines.push_back("resent " + s.image + " sector " + hexAddress(s.address) + ": " +
                            std::to_string(s.tries) + " " +
                            dwl10_88TriesWord(static_cast<unsigned>(s.tries)));
    return lines;
}

nlohmann::ordered_json jsonReport(const RunReport& r) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["exit_status"] = r.exitStatus;
    Json result;
    result["family"] = r.result.family >= 0 ? Json(r.result.family) : Json(nullptr);
    result["code"] = r.result.hasCode ? Json(r.result.code) : Json(nullptr);
    result["message"] = r.result.message;
    j["result"] = result;
    j["port"] = r.port;
    j["device"] = r.device;
    if (r.mode >= 0) {
        j["mode"] = r.mode;
        j["mode_name"] = modeName(r.mode);
    }
    j["baud"] = r.baud;
    if (r.flashIdentified) {
        j["flash"] = {{"manufacturer_id", r.manufacturerId},
                      {"device_id", r.deviceId},
                      {"manufacturer", r.manufacturerName},
                      {"device", r.deviceName}};
    } else {
        j["flash"] = nullptr;
    }
    j["images"] = Json::array();
    for (const ImageReport& im : r.images)
        j["images"].push_back(
            {{"kind", im.kind}, {"path", im.path}, {"size", im.size}, {"byte_sum", im.byteSum}});
    j["sectors"] = Json::array();
    for (const SectorReport& s : r.sectors)
        j["sectors"].push_back({{"image", s.image},
                                {"address", s.address},
                                {"size", s.size},
                                {"bytes_sent", s.bytesSent},
                                {"tries", s.tries},
                                {"result", s.result}});
    const double rate = r.elapsedSeconds > 0 ? r.bytesWritten / r.elapsedSeconds : 0.0;
    // A NaN or infinite time is written as null.
    j["elapsed_seconds"] = rounded(r.elapsedSeconds);
    j["bytes_written"] = r.bytesWritten;
    j["bytes_per_second"] = rounded(rate);
    return j;
}

int resentSectorCount(const RunReport& r) {
    int count = 0;
    for (const SectorReport& s : r.sectors)
        if (s.tries > 1) count++;
    return count;
}

bool writeJsonReport(FILE* out, const RunReport& r) {
    const bool printed = fprintf(out, "%s\n", jsonText(jsonReport(r)).c_str()) > 0;
    return fflush(out) == 0 && printed && ferror(out) == 0;
}

} // namespace dwlcli

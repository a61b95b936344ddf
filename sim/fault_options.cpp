#include "sim/fault_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace sim {
namespace {

constexpr long kMostOccurrences = 1000000;

// A number in C notation (0x.. allowed), nothing around it, at most `max`.
bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || v > max) return false;
    *value = static_cast<unsigned long>(v);
    return true;
}

// "STEP" or "STEP:N".
bool ParseStepAt(const std::string& text, Step* step, int* occurrence) {
    std::string name = text;
    *occurrence = 0;
    const size_t colon = text.find(':');
    if (colon != std::string::npos) {
        name = text.substr(0, colon);
        const std::string count = text.substr(colon + 1);
        if (count.empty() || count.size() > 7) return false;
        for (char c : count)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        const long n = std::strtol(count.c_str(), nullptr, 10);
        if (n > kMostOccurrences) return false;
        *occurrence = static_cast<int>(n);
    }
    *step = ParseStep(name.c_str());
    return *step != Step::Count && *step != Step::None;
}

std::string ApplyStep(const std::string& text, const std::string& option, Step* step,
                      int* occurrence) {
    if (text.empty() || ParseStepAt(text, step, occurrence)) return "";
    return option + ": unknown step " + text;
}

std::string ApplyByte(const std::string& text, const std::string& option, uint8_t* byte) {
    unsigned long value = 0;
    if (text.empty()) return "";
    if (!ParseNumber(text, 255, &value)) return option + " takes a byte (0 to 255, 0x.. allowed)";
    *byte = static_cast<uint8_t>(value);
    return "";
}

std::string ApplyAddresses(const std::vector<std::string>& texts, const std::string& option,
                           std::vector<uint32_t>* addresses) {
    for (const std::string& text : texts) {
        unsigned long value = 0;
        if (!ParseNumber(text, 0xFFFFFFFFul, &value)) return option + " takes a handset address";
        addresses->push_back(static_cast<uint32_t>(value));
    }
    return "";
}

} // namespace

std::string ApplyFaultOptions(const FaultOptions& in, const std::string& prefix,
                              HandsetConfig* config) {
    FaultConfig& f = config->faults;
    const std::string problems[] = {
        ApplyByte(in.manufacturer, prefix + "manufacturer", &config->manufacturerId),
        ApplyByte(in.device, prefix + "device", &config->deviceId),
        ApplyByte(in.extraId, prefix + "extra-id", &config->extraIdByte),
        ApplyStep(in.silentFrom, prefix + "silent-from", &f.silentFrom, &f.silentOccurrence),
        ApplyStep(in.wrongReply, prefix + "wrong-reply", &f.wrongReplyAt, &f.wrongReplyOccurrence),
        ApplyStep(in.disconnectAt, prefix + "disconnect", &f.disconnectAt, &f.disconnectOccurrence),
        ApplyAddresses(in.rejectSectors, prefix + "reject-sector", &f.rejectSectors),
        ApplyAddresses(in.badChecksums, prefix + "bad-checksum", &f.badChecksumSectors),
    };
    for (const std::string& problem : problems)
        if (!problem.empty()) return problem;
    if (in.tfsStartError.empty()) return "";
    std::string code = in.tfsStartError;
    if (code.rfind("0x", 0) == 0 || code.rfind("0X", 0) == 0) code = code.substr(2);
    for (char& c : code)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (code == "A1")
        f.tfsStartError = 0xA1;
    else if (code == "A5")
        f.tfsStartError = 0xA5;
    else
        return prefix + "tfs-start-error takes A1 or A5";
    return "";
}

} // namespace sim

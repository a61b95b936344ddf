#include "app/cli/option_values.h"

#include "link/dwl12pclib.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace dwlcli {

namespace {

const char* const a_ModeNames[7] = {"binary+ogm", "binary", "ogm",       "tfs",
                                    "ogm+tfs",    "all",    "binary+tfs"};

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

bool parseInt(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 12) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    if (v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

int parseMode(const std::string& text) {
    int mode = 0;
    if (parseInt(text, 0, 6, &mode)) return mode;
    const std::string name = lower(text);
    for (int i = 0; i < 7; i++)
        if (name == a_ModeNames[i]) return i;
    if (name == "binary+ogm+tfs") return 5;
    if (name == "bin") return 1;
    if (name == "tfs-ogm" || name == "tfsogm") return 3;
    return -1;
}

int modeForImages(bool binary, bool ogm, bool tfs) {
    const int key = (binary ? 4 : 0) | (ogm ? 2 : 0) | (tfs ? 1 : 0);
    switch (key) {
    case 4: return 1;
    case 2: return 2;
    case 1: return 3;
    case 6: return 0;
    case 3: return 4;
    case 7: return 5;
    case 5: return 6;
    default: return -1;
    }
}

const char* modeName(int mode) {
    return mode >= 0 && mode <= 6 ? a_ModeNames[mode] : "?";
}

bool modeTakesImage(int mode, int image) {
    switch (image) {
    case 0: return mode == 0 || mode == 1 || mode == 5 || mode == 6;
    case 1: return mode == 0 || mode == 2 || mode == 4 || mode == 5;
    case 2: return mode == 3 || mode == 4 || mode == 5 || mode == 6;
    default: return false;
    }
}

std::string modeList() {
    std::string out;
    for (int i = 0; i < 7; i++) {
        if (i > 0) out += ", ";
        out += std::to_string(i) + " " + a_ModeNames[i];
    }
    return out;
}

int parseSpeed(const std::string& text) {
    int value = 0;
    if (!parseInt(text, 0, 100000000, &value)) return -1;
    if (value <= 8) return value;
    for (int i = 0; i < 9; i++)
        if (a_PCSpeedValue[i] == value) return i;
    return -1;
}

std::string speedList() {
    std::string out;
    for (int i = 0; i < 9; i++) {
        if (i > 0) out += ", ";
        out += std::to_string(i) + " " + std::to_string(a_PCSpeedValue[i]);
    }
    return out;
}

bool parsePort(const std::string& text, PortChoice* port, std::string* why) {
    std::string number = text;
    if (lower(text).rfind("com", 0) == 0) number = text.substr(3);
    int com = 0;
    if (parseInt(number, -1000000, 1000000, &com)) {
        if (com < 1 || com > 4) {
            *why = "unknown port " + text + ": the COM numbers are 1 to 4 (or give a device path)";
            return false;
        }
        port->com = com;
        port->device.clear();
        return true;
    }
    if (text.find('/') == std::string::npos) {
        *why = "unknown port " + text + ": give a COM number 1 to 4 or a device path";
        return false;
    }
    port->com = 4;
    port->device = text;
    return true;
}

std::string portName(const PortChoice& port) {
    return port.device.empty() ? "COM" + std::to_string(port.com) : port.device;
}

bool parseWaitStates(const std::string& text, int counts[4]) {
    size_t start = 0;
    for (int cs = 0; cs < 4; cs++) {
        const size_t comma = text.find(',', start);
        const bool last = cs == 3;
        if (last != (comma == std::string::npos)) return false;
        const std::string part = text.substr(start, last ? std::string::npos : comma - start);
        if (!parseInt(part, 0, 4, &counts[cs])) return false;
        start = comma + 1;
    }
    return true;
}

} // namespace dwlcli

#include "app/options/option_values.h"

#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3_modes.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace dwlcli {

namespace {

// Other names the command line takes for a mode.
struct ModeAlias {
    const char* alias;
    const char* name;
};
const ModeAlias a_ModeAliases[] = {
    {"binary+ogm+tfs", "all"}, {"bin", "binary"}, {"tfs-ogm", "tfs"}, {"tfsogm", "tfs"}};

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
    if (parseInt(text, 0, DWL3_NB_MODES - 1, &mode)) return mode;
    std::string name = lower(text);
    for (const ModeAlias& alias : a_ModeAliases)
        if (name == alias.alias) name = alias.name;
    for (int i = 0; i < DWL3_NB_MODES; i++)
        if (name == a_DownloadModes[i].Name) return i;
    return -1;
}

int modeForImages(bool binary, bool ogm, bool tfs) {
    const bool given[DWL_NB_IMAGES] = {binary, ogm, tfs};
    for (int i = 0; i < DWL3_NB_MODES; i++) {
        bool same = true;
        for (int image = 0; image < DWL_NB_IMAGES; image++)
            same = same && a_DownloadModes[i].Writes[image] == given[image];
        if (same) return i;
    }
    return -1;
}

const char* modeName(int mode) {
    const DownloadMode* m = dwl3_14Mode(mode);
    return m != nullptr ? m->Name : "?";
}

bool modeTakesImage(int mode, int image) {
    const DownloadMode* m = dwl3_14Mode(mode);
    return m != nullptr && image >= 0 && image < DWL_NB_IMAGES && m->Writes[image];
}

std::string modeList() {
    std::string out;
    for (int i = 0; i < DWL3_NB_MODES; i++) {
        if (i > 0) out += ", ";
        out += std::to_string(i) + " " + a_DownloadModes[i].Name;
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

std::string portHelp() {
    return dwl_SystemPortDevice("COM1").empty() ? "COM number 1-4 or device path (/dev/ttyUSB0)"
                                                : "COM port (COM1 to COM256)";
}

bool parsePort(const std::string& text, PortChoice* port, std::string* why) {
    // A port the system names itself (Windows: COM1 to COM256, \\.\COM12) is opened by that
    // name, so that a missing one is known before the run.
    const bool systemNames = !dwl_SystemPortDevice("COM1").empty();
    if (const std::string device = dwl_SystemPortDevice(text); !device.empty()) {
        port->com = 4;
        port->device = device;
        return true;
    }
    std::string number = text;
    if (lower(text).rfind("com", 0) == 0) number = text.substr(3);
    int com = 0;
    if (parseInt(number, -1000000, 1000000, &com) && com >= 1 && com <= 4) {
        port->com = com;
        port->device.clear();
        return true;
    }
    if (parseInt(number, -1000000, 1000000, &com)) {
        *why = "unknown port " + text +
               (systemNames ? ": the COM ports are COM1 to COM256"
                            : ": the COM numbers are 1 to 4 (or give a device path)");
        return false;
    }
    if (text.find_first_of("/\\") == std::string::npos) {
        *why = "unknown port " + text +
               (systemNames ? ": give a COM port, COM1 to COM256"
                            : ": give a COM number 1 to 4 or a device path");
        return false;
    }
    port->com = 4;
    port->device = text;
    return true;
}

std::string portName(const PortChoice& port) {
    return port.device.empty() ? "COM" + std::to_string(port.com) : port.device;
}

std::string portDevice(const PortChoice& port) {
    return port.device.empty() ? dwl_ComDevicePath(port.com) : port.device;
}

bool samePortDevice(const PortChoice& a, const PortChoice& b) {
    const std::string first = portDevice(a), second = portDevice(b);
    if (first == second) return true;
    // Links and ".." resolved. (A device's node under another name or a bind mount meets the
    // same lock at the opening: the lock goes by the device's number.)
    std::error_code ec, ec2;
    const std::filesystem::path one = std::filesystem::canonical(first, ec),
                                other = std::filesystem::canonical(second, ec2);
    return !ec && !ec2 && one == other;
}

std::string givenTwice(const PortChoice& first, const PortChoice& again) {
    const std::string before = portName(first), now = portName(again);
    return "port " + now + " is given twice" + (before == now ? "" : " (as " + before + ")");
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

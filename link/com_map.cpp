#include "link/com_map.h"

#include <cstdlib>
#include <map>

namespace {
std::map<int, std::string>& overrides() {
    static std::map<int, std::string> m;
    return m;
}
} // namespace

std::string dwl_ComDevicePath(int port) {
    auto it = overrides().find(port);
    if (it != overrides().end()) return it->second;
    std::string var = "DWL_COM" + std::to_string(port);
    if (const char* env = std::getenv(var.c_str()); env && *env) return env;
    if (port < 1) return {};
    return dwl_SystemComDevice(port);
}

std::string dwl_ComPortName(int port) {
    auto it = overrides().find(port);
    if (it == overrides().end() || it->second.empty()) return "COM" + std::to_string(port);
    const std::string name = dwl_SystemPortName(it->second);
    return name.empty() ? it->second : name;
}

void dwl_SetComDevice(int port, const std::string& path) {
    overrides()[port] = path;
}
void dwl_ClearComDevices() {
    overrides().clear();
}

// Serial devices on Linux: every port is named by its path; COM n is the n-th USB adapter.
#include "link/com_map.h"

#include <filesystem>

std::string dwl_SystemComDevice(int port) {
    return "/dev/ttyUSB" + std::to_string(port - 1);
}

std::string dwl_SystemPortDevice(const std::string&) {
    return "";
}

std::string dwl_SystemPortName(const std::string&) {
    return "";
}

bool dwl_SerialDevicePresent(const std::string& device) {
    std::error_code ec;
    return std::filesystem::exists(device, ec);
}

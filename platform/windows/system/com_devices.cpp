// Serial devices on Windows: COM1 to COM256, opened as \\.\COMn (CreateFile takes the bare name
// only up to COM9).
#include "link/com_map.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kHighestComPort = 256;
const char kDevicePrefix[] = "\\\\.\\";

// The n of "n", "COMn" or "\\.\COMn" (any case), or 0.
int comNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind(kDevicePrefix, 0) == 0) rest = rest.substr(sizeof kDevicePrefix - 1);
    if (rest.size() > 3 && std::toupper(static_cast<unsigned char>(rest[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(rest[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(rest[2])) == 'M')
        rest = rest.substr(3);
    if (rest.empty() || rest.size() > 3 || rest[0] == '0') return 0;
    for (char c : rest)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    const int n = std::atoi(rest.c_str());
    return n <= kHighestComPort ? n : 0;
}

} // namespace

std::string dwl_SystemComDevice(int port) {
    return kDevicePrefix + std::string("COM") + std::to_string(port);
}

std::string dwl_SystemPortDevice(const std::string& name) {
    const int n = comNumber(name);
    return n > 0 ? dwl_SystemComDevice(n) : "";
}

std::string dwl_SystemPortName(const std::string& device) {
    const int n = comNumber(device);
    return n > 0 ? "COM" + std::to_string(n) : "";
}

bool dwl_SerialDevicePresent(const std::string& device) {
    const int n = comNumber(device);
    if (n == 0) {
        std::error_code ec;
        return std::filesystem::exists(device, ec);
    }
    // A COM port is a name of the object manager, not a file; a name may stand for no device
    // (wine names COM1 to COM4 whether they lead anywhere or not). An open that asks for no
    // access tells a missing port from one that is there, in use or not.
    const HANDLE port =
        CreateFileA(dwl_SystemComDevice(n).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// Which device a COM port number opens on this machine.
// Default: the system's own device for COM n (dwl_SystemComDevice: /dev/ttyUSB(n-1) on Linux,
// \\.\COMn on Windows). The environment variable DWL_COMn overrides it (DWL_COM4=/dev/ttyS0),
// and so does dwl_SetComDevice (the command line's device paths).
#pragma once

#include <string>

std::string dwl_ComDevicePath(int port);
void dwl_SetComDevice(int port, const std::string& path);
// The name the operator knows COM port `port` by, for the log, the trace and the results: the
// system's own port name of the device given for it ("COM7" for \\.\COM7 on Windows), the
// device path given for it ("/dev/ttyUSB0"), else "COMn".
std::string dwl_ComPortName(int port);
void dwl_ClearComDevices();

// The system's own names of serial devices; each system has its own (platform/posix/
// com_devices.cpp, platform/windows/system/com_devices.cpp).
// The device COM port n (n >= 1) opens when nothing else is said.
std::string dwl_SystemComDevice(int port);
// The device that one of the system's own port names stands for ("12", "COM12" or "\\.\COM12"
// on Windows: \\.\COM12); "" for any other name, and on a system whose ports are named by path.
std::string dwl_SystemPortDevice(const std::string& name);
// The system's own port name of a device ("COM12" for "\\.\COM12", "com12" or "12" on
// Windows); "" for any other device, and on a system whose ports are named by path.
std::string dwl_SystemPortName(const std::string& device);
// Whether a device the operator named is there at all (it may still refuse to open).
bool dwl_SerialDevicePresent(const std::string& device);

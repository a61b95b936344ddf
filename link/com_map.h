// Which device a COM port number opens on this machine.
// Default: COMn opens /dev/ttyUSB(n-1). The environment variable DWL_COMn overrides it
// (DWL_COM4=/dev/ttyS0), and so does dwl_SetComDevice (the command line's device paths).
#pragma once

#include <string>

std::string dwl_ComDevicePath(int port);
void dwl_SetComDevice(int port, const std::string& path);
void dwl_ClearComDevices();

// Whether a serial device is there, and a wait for it to come back (a USB adapter plugged in
// again, a udev link made again).
#pragma once

#include <string>

namespace dwlcli {

// Empty when the device path names something that exists (a link is followed), otherwise why
// not: "/dev/ttyUSB0: No such file or directory".
std::string deviceMissing(const std::string& path);

// Sleeps until something is made, moved or changed in the folder of `path`, a signal arrives,
// or `seconds` pass.
void waitForDeviceChange(const std::string& path, double seconds);

// Sleeps `seconds`, or less when a stop arrives.
void pauseUnlessStopped(double seconds);

} // namespace dwlcli

// Whether a port's device is there on Windows (link/com_map.h), and the waits for it: a COM port
// has no folder to watch, so it is looked at again after the time given, or at once on a stop
// (the cancel's event).
#include "app/station/device_watch.h"

#include "link/com_map.h"
#include "platform/windows/system/cancel_event.h"
#include "platform/windows/system/system_error.h"

#include <windows.h>

namespace dwlcli {

std::string deviceMissing(const std::string& path) {
    if (dwl_SerialDevicePresent(path)) return "";
    return path + ": " + dwlwin::systemErrorText(ERROR_FILE_NOT_FOUND);
}

void waitForDeviceChange(const std::string&, double seconds) {
    pauseUnlessStopped(seconds);
}

void pauseUnlessStopped(double seconds) {
    const DWORD ms = static_cast<DWORD>(seconds * 1000.0);
    const HANDLE stop = dwlwin::cancelEvent();
    if (stop != nullptr)
        WaitForSingleObject(stop, ms);
    else
        Sleep(ms);
}

} // namespace dwlcli

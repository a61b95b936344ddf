// Stands in for the station window until its own files replace this one.
#include "platform/windows/gui/win32_station.h"

bool dwl_OpenStationWindow(HWND owner, const std::vector<std::string>&, int* status) {
    MessageBoxW(owner, L"The production station window is not part of this build.",
                L"Production station", MB_OK | MB_ICONINFORMATION);
    if (status != nullptr) *status = 1;
    return false;
}

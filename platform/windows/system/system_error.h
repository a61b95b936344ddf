// The system's own words for a Windows error code, for the operator's log.
#pragma once

#include <windows.h>

#include <string>

namespace dwlwin {

// "Access is denied" for ERROR_ACCESS_DENIED; "error N" where the system has no text.
std::string systemErrorText(DWORD code);

} // namespace dwlwin

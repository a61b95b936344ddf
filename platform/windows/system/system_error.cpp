#include "platform/windows/system/system_error.h"

namespace dwlwin {

std::string systemErrorText(DWORD code) {
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    // The system's texts end with a full stop and a line end: the log line has its own end.
    while (n > 0 &&
           (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    if (n == 0) return "error " + std::to_string(code);
    return std::string(text, n);
}

} // namespace dwlwin

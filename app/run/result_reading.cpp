#include "app/run/result_reading.h"

#include "ui/dwl52display.h"

namespace dwlcli {

ReadResult readResultWindow(int panel, const std::string& message) {
    ReadResult r;
    if (panel <= 0 || mv_LastShownResult.panel != panel) return r;
    r.known = true;
    r.family = mv_LastShownResult.family;
    r.hasCode = true;
    r.code = mv_LastShownResult.code;
    r.message = message;
    return r;
}

} // namespace dwlcli

// What a result window on screen says about the run: the result record the display showed in it,
// and the window's message.
#pragma once

#include <string>

namespace dwlcli {

struct ReadResult {
    bool known = false; // the window is a result or description-file window
    int family = -1;    // result family; -1 for the TFS description window (no family)
    bool hasCode = false;
    int code = 0;
    std::string message;
};

// The result shown in window `panel`, or an unknown result when the display did not show one
// there.
ReadResult readResultWindow(int panel, const std::string& message);

} // namespace dwlcli

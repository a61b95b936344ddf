// What a result window on screen says about the run: the result family it stands for and, when
// the message tells it, the code.
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

// The result a window of a layout file's panel stands for, from its message. tfsTotalSize
// fills the TFS image size message as the display does.
ReadResult readResultWindow(const std::string& layoutFile, int panel, const std::string& message,
                            unsigned tfsTotalSize);

} // namespace dwlcli

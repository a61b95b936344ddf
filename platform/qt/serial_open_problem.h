// Why a serial device does not open, in words for the operator's log.
#pragma once

#include <string>

namespace dwlqt {

// What the system says about opening `path`; when it opens, who holds its lock file (a process
// still running, this program itself, or a program killed while it was opening the device).
// Short enough for a line of the operator log after "COMn: cannot open <device>: ".
std::string openProblem(const std::string& path);

} // namespace dwlqt

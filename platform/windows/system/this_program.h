// This program as Windows started it: its file and its arguments, for starting it again (the
// ports' processes of a run of several ports and of a station).
#pragma once

#include <string>
#include <vector>

namespace dwlwin {

// The program's own file (UTF-8); "" when the system does not say.
std::string thisProgram();
// Its arguments (UTF-8), the program's name left out.
std::vector<std::string> givenArguments();

} // namespace dwlwin

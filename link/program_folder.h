// The folder of the running program, as the operating system names it: where the installed
// data folder (../share/dwl) and the programs started beside this one are found. Each system has
// its own (platform/posix: /proc/self/exe; platform/windows/system: GetModuleFileNameW).
#pragma once

#include <string>

// An absolute path without a trailing separator; "" when the system does not say.
std::string dwl_ProgramFolder();

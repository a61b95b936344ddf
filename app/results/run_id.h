// The identity of a handset run in the records: a random (version 4) UUID.
#pragma once

#include <string>

namespace dwlcli {

// "3f2a9c1e-5b7d-4e21-9a0c-7d1e2f3a4b5c", lower-case.
std::string newRunId();

} // namespace dwlcli

// The content of the emulated handset's flash, written to a file after each session.
#pragma once

#include "sim/flash_model.h"

#include <string>

// The whole flash, from its first byte (handset address 0x02000000) to its last; false (errno
// set) when the file cannot be written.
bool WriteFlashDump(const std::string& path, const sim::FlashModel& flash);

// The emulated handset's faults and flash identification as typed on a command line: one
// parser for `dwl --sim` (options --sim-silent-from, --sim-manufacturer, ...) and for
// dwl-handset-sim (--silent-from, --manufacturer, ...). An empty text is an option not given.
#pragma once

#include "sim/handset.h"

#include <string>
#include <vector>

namespace sim {

struct FaultOptions {
    std::string silentFrom;                 // STEP[:N], N the occurrence from 0
    std::string wrongReply;                 // STEP[:N]
    std::string disconnectAt;               // STEP[:N]
    std::vector<std::string> rejectSectors; // handset addresses
    std::vector<std::string> badChecksums;  // handset addresses
    std::string tfsStartError;              // A1 or A5
    std::string manufacturer;               // a byte: 0 to 255, 0x.. allowed
    std::string device;                     // a byte
    std::string extraId;                    // a byte
};

// Sets in config what the options give. Returns an empty text, or the message for the first
// option that does not parse, naming it with `prefix` ("--sim-" or "--") before its name.
std::string ApplyFaultOptions(const FaultOptions& options, const std::string& prefix,
                              HandsetConfig* config);

} // namespace sim

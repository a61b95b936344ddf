// A line trace file read back, for tests: its lines cut into their columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct TraceEntry {
    std::string what, settings, step, data;
};

// The lines of a trace file, cut into their columns.
std::vector<TraceEntry> readTrace(const std::string& path);
// The bytes of every chunk of one direction ("PC>HS" or "HS>PC"), in order, from a trace
// written with every byte.
std::vector<uint8_t> tracedBytes(const std::vector<TraceEntry>& trace, const std::string& what);

} // namespace testsupport

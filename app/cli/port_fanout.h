// Several handsets at once: one child process per port, their output passed on line by line
// with the port in front, one summary line per port at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dwlcli {

// Runs child(i) in a process of its own for every name; child returns its exit status. With
// json the children's standard output is collected and printed as one JSON object. Returns 0
// when every child succeeded, otherwise the status of the first that failed.
int fanOut(const std::vector<std::string>& names, bool json,
           const std::function<int(size_t)>& child);

// The log file of one port when several run: the port's name before the extension
// (bench.log, COM7: bench-COM7.log; trace, /dev/ttyUSB0: trace-ttyUSB0).
std::string perPortLogFile(const std::string& logFile, const std::string& portName);

} // namespace dwlcli

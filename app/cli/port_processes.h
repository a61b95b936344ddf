// One process per port for a run of several (port_fanout.h). Each system starts them its own
// way (platform/posix/cli: fork; platform/windows/cli: this program started again for each
// port), passes on what they write as it comes, forwards a stop to each, and collects their exit
// statuses.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace dwlcli {

// A piece of what port `port`'s process wrote on its standard output (isStdout) or error.
using PortOutput = std::function<void(size_t port, bool isStdout, const char* data, size_t size)>;

// Runs child(i) for every port i of names, each in a process of its own, with its standard
// output and error on pipes whose bytes go to output as they arrive, one call at a time. A stop
// (RunSignals) received meanwhile goes on to every process. Returns the exit statuses in port
// order: what child returned, 128 + the signal for a process a signal ended, kExitInternal for
// one that did not start.
std::vector<int> runPortProcesses(const std::vector<std::string>& names,
                                  const std::function<int(size_t)>& child,
                                  const PortOutput& output);

// In a port's own process where the system started this program again for it: runs child for
// that port, with a stop from the run's first process passed on, stores its exit status and
// returns true. Returns false in any other process.
bool runAsPortProcess(const std::vector<std::string>& names,
                      const std::function<int(size_t)>& child, int* status);

} // namespace dwlcli

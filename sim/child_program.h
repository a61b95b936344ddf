// A program started as a child (dwl-handset-sim for dwl sim, dwl demo and the tests), its end
// bound to ours: it gets a signal when its parent dies, however the parent ends.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace sim {

// Starts program with args, its standard output on a pipe whose reading end goes to *stdoutFd.
// The child receives deathSignal when this process ends. Returns its pid, or -1 with errno set.
pid_t StartChildProgram(const std::string& program, const std::vector<std::string>& args,
                        int deathSignal, int* stdoutFd);

// Ends the child: SIGTERM, a sleep until it is gone (graceMs at most), then SIGKILL. Returns its
// wait status.
int EndChildProgram(pid_t pid, int graceMs);

} // namespace sim

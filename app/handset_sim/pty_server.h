// Serves the emulated handset on a pseudo-terminal, in real time.
#pragma once

#include "link/line_trace.h"
#include "sim/handset.h"

#include <string>

struct PtyEndpoint {
    int masterFd = -1;
    std::string slavePath;
    int opensFd = -1; // inotify: every open of the slave, watched from before its path is known
};

// Opens a pseudo-terminal in raw mode with a non-blocking master; false on failure (errno set).
bool OpenPty(PtyEndpoint* endpoint);

// Runs until the process is killed; returns only when the master fails. While the PC does not
// have the port open the server sleeps, and so it does while the line is quiet and the handset
// has nothing to do. With `paced`, every
// byte takes its time on the wire in both directions, at the rate the PC set on the line
// (10 bits a byte, 11 with parity); without it bytes pass as fast as the pseudo-terminal
// carries them.
//
// With a report path, each time the PC closes the port the server writes there what the line
// carried since the PC's first byte (see LineTally in pty_server.cpp): the span of the line's
// activity, the wire time of its bytes and the handset's own waits.
//
// With a trace, every chunk and event of the line goes into it as the handset sees them.
int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config, bool paced,
                 const std::string& reportPath = std::string(), TraceFile* trace = nullptr);

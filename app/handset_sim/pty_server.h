// Serves the emulated handset on a pseudo-terminal, in real time.
#pragma once

#include "link/line_trace.h"
#include "sim/handset.h"

#include <string>

struct PtyEndpoint {
    int masterFd = -1;
    std::string slavePath;
};

// Opens a pseudo-terminal in raw mode with a non-blocking master; false on failure (errno set).
bool OpenPty(PtyEndpoint* endpoint);

// Runs until the process is killed; returns only when the master fails. With a trace, every
// chunk and event of the line goes into it as the handset sees them.
int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config,
                 TraceFile* trace = nullptr);

// Serves the emulated handset on a pseudo-terminal, in real time.
#pragma once

#include "app/handset_sim/pty_endpoint.h"
#include "app/handset_sim/session_plan.h"
#include "link/line_trace.h"
#include "sim/handset.h"

#include <string>

struct ServeOptions {
    // Every byte takes its time on the wire in both directions, at the rate the PC set on the
    // line (10 bits a byte, 11 with parity); without it bytes pass as fast as the
    // pseudo-terminal carries them.
    bool paced = true;
    // Each time the PC closes the port, written there: what the line carried since the PC's
    // first byte (line_tally.h) and digests of what the handset wrote.
    std::string reportPath;
    // Each time the PC closes the port, the whole flash is written there.
    std::string dumpPath;
    // Every chunk and event of the line, as the handset sees them; may be nullptr.
    TraceFile* trace = nullptr;
    // Handsets one after another (count 0: the one handset of `config`).
    SessionPlan sessions;
};

// Runs until a stop signal (endpoint.stopFd) comes, which ends the open session as a close of
// the port does (trace, dump, report, each on disk), and returns 0; 1 when the master fails. While
// the PC does not have the port open the server sleeps, and so it does while the line is quiet and
// the handset has nothing to do.
int ServeHandset(const PtyEndpoint& endpoint, const sim::HandsetConfig& config,
                 const ServeOptions& options);

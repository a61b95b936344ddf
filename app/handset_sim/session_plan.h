// Handsets that come one after another on the same port, as on a production line: after each
// handset has been served and the PC let go of the port, the next one is switched on a gap
// later; chosen ones carry the faults given on the command line, the others none.
#pragma once

#include "sim/handset.h"

#include <string>
#include <vector>

struct SessionPlan {
    // Handsets in all; 0: one handset for ever, powered again at every opening of the port.
    int count = 0;
    // Seconds between the end of a handset's session and the next handset's power-on.
    double gap = 0.0;
    // The sessions (from 1) that carry the faults; empty: every session does.
    std::vector<int> failing;
    // The handset with the faults given, and the same without them (the cable's latency stays).
    sim::HandsetConfig faulty;
    sim::HandsetConfig clean;

    // The handset of session n (from 1).
    const sim::HandsetConfig& configFor(int session) const;
};

// "2,5": session numbers from 1, each at most `count` when count is not 0. Returns an empty
// text, or what is wrong with it.
std::string ParseFailingSessions(const std::string& text, int count, std::vector<int>* sessions);

// What a production station shows: per port its state (waiting, booting, writing, the last
// run's PASS or FAIL, port lost) and its pass and fail counts, and the totals over all ports,
// all learnt from the ports' event lines.
#pragma once

#include "app/station/station_events.h"

#include <string>
#include <vector>

namespace dwlcli {

struct PortBoard {
    PortLabel label;
    std::string activity = "starting"; // waiting, booting, writing ..., port lost: ...
    std::string verdict;               // the last run's PASS / FAIL, until the next run starts
    int pass = 0;
    int fail = 0;
};

class StationBoard {
  public:
    // startedAt: the station's start, in seconds of the clock the `now` arguments use.
    StationBoard(const std::vector<PortLabel>& ports, double startedAt);

    // Takes an event line of a port (or the station's own port_lost / port_back for a port
    // process that ended). Events of no known port are ignored.
    void take(const Json& event);
    // A port whose process ended for good.
    void portStopped(size_t port, const std::string& why);

    int pass() const { return pass_; }
    int fail() const { return fail_; }
    // The totals event: yield, median time of the runs that ended (not cancelled), handsets
    // per hour since the start.
    Json totals(double now) const;
    const std::vector<PortBoard>& ports() const { return ports_; }

    // For a terminal: one line per port, then the totals line; each cut to `width` columns.
    std::vector<std::string> lines(double now, size_t width) const;
    // One line for a log or a pipe, "<time> <port>: <what happened>"; empty for an event that
    // has none (progress).
    static std::string plainLine(const Json& event);

  private:
    PortBoard* find(const Json& event);

    std::vector<PortBoard> ports_;
    double startedAt_;
    int pass_ = 0;
    int fail_ = 0;
    std::vector<double> durations_;
    std::string stopping_;   // what a stop in progress does
    std::string unrecorded_; // the runs that wait in the journal, or empty
};

} // namespace dwlcli

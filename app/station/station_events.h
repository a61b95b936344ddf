// The event lines of a production station (dwl station --json-lines): one JSON object per line,
// each with "event" and "time" (UTC, ISO 8601), and for the events of a port its "port" and
// "device". The port processes write theirs to the station, which passes them on.
#pragma once

#include "app/results/run_record.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace dwlcli {

using Json = nlohmann::ordered_json;

// Which port an event is about: the port as given and the device it opens.
struct PortLabel {
    std::string port;
    std::string device;
};

// The progress of a run as a port reports it.
struct RunProgress {
    bool writing = false; // false: booting
    int image = -1;       // DwlImage while writing; -1 between images
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double bytesPerSecond = 0.0;
    double etaSeconds = -1.0; // -1: unknown
};

// unit: the unit the next handset is recorded under, or empty; unitRequired: the port waits
// for a scan before it flashes.
Json waitingEvent(const PortLabel& port, const std::string& unit = "", bool unitRequired = false);
Json runStartedEvent(const PortLabel& port, const std::string& runId, const std::string& unit = "");
Json progressEvent(const PortLabel& port, const std::string& runId, const RunProgress& progress);
// recorded: whether the row is in the results database (why not in recordError); waitingIn:
// the journal the refused row waits in (results_journal.h), empty when it is lost.
Json runEndedEvent(const PortLabel& port, const RunRecord& run, bool recorded,
                   const std::string& recordError, const std::string& waitingIn = "");
// The station's runs that wait in the journal, not in the results database: how many, where,
// and why the database refused them (empty when none wait).
Json unrecordedEvent(long long waiting, const std::string& journal, const std::string& error);
Json portLostEvent(const PortLabel& port, const std::string& reason);
Json portBackEvent(const PortLabel& port);
// A scan taken for a port: for its next handset, or held for the run after the one in
// progress; replaces: the scan it replaces, or empty.
Json unitScannedEvent(const PortLabel& port, const std::string& unit, bool held,
                      const std::string& replaces);
// A scan refused: the line as received, the port it named (empty when none is known) and why.
Json unitRefusedEvent(const std::string& scan, const std::string& port, const std::string& reason);

struct StationStart {
    std::string station;
    std::vector<std::string> ports;
    int mode = -1;
    long baud = 0;
    std::vector<ImageReport> images;
    std::string results; // the database file
};
Json stationStartedEvent(const StationStart& start);
// median and perHour < 0: null (no run yet).
Json totalsEvent(int pass, int fail, double median, double perHour);
// The station stops: the runs in progress finish (cancel false) or are cancelled.
Json stoppingEvent(bool cancel);
// "interrupted", "cancelled" or "ports_done".
Json stationStoppedEvent(const char* reason);

} // namespace dwlcli

// The event lines of `dwl station --json-lines` read into what the station window shows: a tile
// per port, the totals, the image set the station runs with, and a log of each port and of the
// station as a whole.
#pragma once

#include "app/gui/station_records.h"

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

// Lines kept in each log; older ones go.
constexpr size_t kStationLogLines = 2000;

struct StationPort {
    StationTileLook look;
    std::string runId;
    std::string stage; // stage and image of the last progress line
    std::deque<std::string> log;
    unsigned long logCount = 0; // lines ever added to the log
    // The last run's result, one line per field.
    std::vector<std::string> lastResult;
};

struct StationModel {
    bool started = false; // the station said it started
    std::string station;
    std::string mode;
    long baud = 0;
    std::string results;
    // The sender to the line's results server, as its last event said; empty: no server.
    std::string server;
    std::string serverError; // the last one, logged once
    std::vector<StationImage> images;
    std::vector<StationPort> ports;
    StationTotalsLook totals;
    std::string stopReason; // "interrupted", "cancelled", "ports_done"; empty while it runs
    std::deque<std::string> log;
    unsigned long logCount = 0;
};

// What a line concerned besides a port (the port's index).
constexpr int kStationWide = -1;
constexpr int kLineNotRead = -2;

// Forgets everything; one idle tile per port named, saying state.
void station_Begin(StationModel& model, const std::vector<std::string>& ports,
                   const char* state = "Starting");
// One line of the station's standard output. Returns the index of the port it changed,
// kStationWide, or kLineNotRead when it is no event line (it goes to the station's log).
int station_ReadLine(StationModel& model, const std::string& line);
// One line of the station's error output: a line "[port] text" goes to that port's log, any
// other to the station's. Returns the port's index or kStationWide.
int station_ReadErrorLine(StationModel& model, const std::string& line);
// The station's process is gone (why: for the log). A run it left without a result shows so.
void station_Ended(StationModel& model, const std::string& why);

// The arguments of `dwl station` for these settings.
std::vector<std::string> station_CommandArgs(const StationSettings& settings);
// Size and byte sum of an image file; size -1 and the reason when it cannot be read.
StationImage station_ReadImage(const std::string& kind, const std::string& path);
// The images the settings name, in the order binary, ogm, tfs (empty paths left out).
std::vector<StationImage> station_ReadImages(const StationSettings& settings);

// The options of `dwl-gui --station`: --port/-p (repeated), --bin, --ogm, --tfs, --mode/-m,
// --speed/-s, --station, --results, --require-unit, --start. Values given replace those in settings
// (the list of ports as a whole); paths are made absolute, a results server's address is kept as
// given. False, and why, on a bad option or value.
bool station_ParseOptions(const std::vector<std::string>& args, StationSettings* settings,
                          bool* start, std::string* why);

// What the station window shows and edits, as plain records: the look of a port's tile, the
// totals, the settings of a production run and the images they name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The large colour of a tile.
enum StationLight {
    LIGHT_IDLE,    // the station does not run the port (yet)
    LIGHT_WAITING, // waiting for a handset: grey
    LIGHT_RUNNING, // a handset is being flashed: amber
    LIGHT_PASS,    // the last handset passed: green
    LIGHT_FAIL,    // the last handset failed: red
    LIGHT_LOST     // the port's device is gone
};

struct StationTileLook {
    std::string port;
    std::string device;
    int light = LIGHT_IDLE;
    std::string state;  // "Waiting for a handset", "Writing binary 45 %", "PASS", "FAIL"
    std::string detail; // the reason of a failure, the rate and time left of a write
    std::string note;   // "Waiting for the next handset", "Stopped"
    int percent = -1;   // the progress bar; -1: none
    long pass = 0;
    long fail = 0;
    long cancelled = 0; // runs cancelled: neither passed nor failed
    std::string unit;   // the unit of the run in progress, or of the next handset
    bool operator==(const StationTileLook&) const = default;
};

struct StationTotalsLook {
    long pass = 0;
    long fail = 0;
    double yieldPercent = -1; // -1: not known yet
    double medianSeconds = -1;
    double perHour = -1;
    bool operator==(const StationTotalsLook&) const = default;
};

// An image of the set: as chosen, or as the station reports it.
struct StationImage {
    std::string kind; // "binary", "ogm", "tfs"
    std::string path;
    long long size = -1; // -1: unreadable (problem says why)
    uint32_t byteSum = 0;
    std::string problem;
};

// What a production run is started with.
struct StationSettings {
    std::vector<std::string> ports; // COM numbers or device paths
    std::string bin, ogm, tfs;
    int mode = -1;            // -1: the images given decide
    long baud = 0;            // 0: the station's default
    std::string station;      // empty: the station's default name
    std::string results;      // empty: the station's default file
    bool requireUnit = false; // no handset is flashed before its unit's scan
    bool operator==(const StationSettings&) const = default;
};

// What a run on the command line reports: the result, the port, the flash, the images and the
// sectors, as the result line, the JSON summary and the end of the log file give them.
#pragma once

#include "app/run/result_reading.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace dwlcli {

struct ImageReport {
    std::string kind; // "binary", "ogm", "tfs"
    std::string path;
    long size = 0;        // file size as the panel shows it
    uint32_t byteSum = 0; // byte sum as the panel shows it
};

// One sector of the binary or ogm image's range, as the sector map left it.
struct SectorReport {
    std::string image; // "binary", "ogm"
    uint32_t address = 0;
    uint32_t size = 0;
    uint32_t bytesSent = 0; // image bytes its last sector command carried
    int tries = 0;          // sector commands sent for it
    std::string result;     // "written", "resent", "failed", "writing", "untouched"
};

struct RunReport {
    int exitStatus = 0;
    ReadResult result;
    std::string port;   // "COM4"
    std::string device; // what the port opens
    int mode = -1;
    long baud = 0;
    bool flashIdentified = false;
    int manufacturerId = 0;
    int deviceId = 0;
    std::string manufacturerName;
    std::string deviceName;
    std::vector<ImageReport> images;
    std::vector<SectorReport> sectors;
    double elapsedSeconds = 0.0;
    uint64_t bytesWritten = 0;
};

// The report as the JSON summary gives it.
nlohmann::ordered_json jsonReport(const RunReport& report);
// Writes the report as one JSON object. False when the stream took it only in part.
bool writeJsonReport(FILE* out, const RunReport& report);
// The sectors that had to be sent more than once.
int resentSectorCount(const RunReport& report);
// The line a run ends with: "result: <message>" and, when it failed, the family and code.
std::string resultLine(const RunReport& report);
// The log file's last line: the message on one line, family, code, exit status and the run's
// time.
std::string logResultLine(const RunReport& report);
// One log line for each sector that was sent again: its address and tries.
std::vector<std::string> resentSectorLines(const RunReport& report);

} // namespace dwlcli

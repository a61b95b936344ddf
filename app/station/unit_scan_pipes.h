// The units' scans on their way to a port's process, the system's way
// (platform/<system>/station/unit_scan_pipes.cpp). The station writes each port's scans as lines
// on that process's standard input; the process takes them without waiting, or sleeps for one
// when its port needs a unit before it flashes. The Windows build has no scans yet: its ports'
// standard input carries their stops.
#pragma once

#include <string>

namespace dwlcli {

// Whether this build carries scans to its ports.
bool unitScansInBuild();

// The station's end of a port's scan pipe: a port that does not read never holds the station
// up, and no other process inherits it.
void holdScanPipe(int fd);
// Writes one scan line whole, or nothing.
bool writeScanLine(int fd, const std::string& line);

// In a port's process: the scans come on standard input and are taken without waiting.
void takeScansWithoutWaiting();
// Appends what came to *into; false once standard input has ended.
bool readScansNow(std::string* into);
// Sleeps until standard input has bytes or ended (not when `ended`: nothing more can come) or a
// stop came (PortStopSignals); false for a stop.
bool sleepForScan(bool ended);

} // namespace dwlcli

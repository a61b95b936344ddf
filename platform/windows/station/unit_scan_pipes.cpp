// The Windows build carries no scans: a port's standard input carries its stops
// (port_stop_signals.cpp), and the station refuses --units-from-stdin.
#include "app/station/unit_scan_pipes.h"

namespace dwlcli {

bool unitScansInBuild() {
    return false;
}
void holdScanPipe(int) {}
bool writeScanLine(int, const std::string&) {
    return false;
}
void takeScansWithoutWaiting() {}
bool readScansNow(std::string*) {
    return false;
}
bool sleepForScan(bool) {
    return false;
}

} // namespace dwlcli

// A unit's identity: the handset's label (serial number, IMEI label, tray number) as a barcode
// scanner or the operator types it. The rules for one are here, for the command line, the
// station's scans on its standard input and the station window's scan fields alike.
#pragma once

#include <string>

namespace dwlcli {

// The longest label taken, in characters.
constexpr size_t kUnitIdMaxChars = 64;

// The label as recorded: the scan without the spaces around it (a scanner's line end, a space
// typed by hand).
std::string trimmedUnitId(const std::string& scan);
// Empty when the label (trimmed) can be recorded; else why not, as one line: it is empty, has
// a control character, is not UTF-8, or is longer than kUnitIdMaxChars characters.
std::string unitIdProblem(const std::string& unitId);

// A line of the station's scans: "PORT ID", the port as given to the station (COM4,
// /dev/ttyUSB0) then the label. False, with why, for a line without both.
bool parseUnitScanLine(const std::string& line, std::string* port, std::string* unitId,
                       std::string* why);

} // namespace dwlcli

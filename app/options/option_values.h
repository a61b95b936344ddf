// The values the download commands take on the command line: download modes by name or number,
// link speeds by index or baud rate, ports by COM number or device path.
#pragma once

#include <string>

namespace dwlcli {

// Mode 0 to 6 from a number or a name ("binary", "ogm+tfs", "all", ...); -1 when unknown.
int parseMode(const std::string& text);
// The mode that downloads exactly the images given; -1 when no image is given.
int modeForImages(bool binary, bool ogm, bool tfs);
// Name of a mode ("binary+ogm+tfs").
const char* modeName(int mode);
// Whether a mode downloads an image (0 binary, 1 ogm, 2 TFS ogm).
bool modeTakesImage(int mode, int image);
// The names accepted, for help and error texts.
std::string modeList();

// Speed index 0 to 8 from an index or a baud rate of the link speed table; -1 when unknown.
int parseSpeed(const std::string& text);
std::string speedList();

// A port: a COM number 1 to 4 or a device path.
struct PortChoice {
    int com = 0;        // COM number the panel selects
    std::string device; // device path given, empty for a plain COM number
};
// False (and why) when the text is neither a COM number 1 to 4 ("4", "COM4") nor a path.
bool parsePort(const std::string& text, PortChoice* port, std::string* why);
// What --port takes, for the help.
std::string portHelp();
// A name for messages: "COM4" or the device path.
std::string portName(const PortChoice& port);
// The device a port opens: the path given, or the one its COM number stands for.
std::string portDevice(const PortChoice& port);
// Whether two ports are one device under two names ("/dev/pts/3" and "/dev/pts/../pts/3", a
// link, COM1 and the device it stands for).
bool samePortDevice(const PortChoice& a, const PortChoice& b);
// "port COM1 is given twice", "port /dev/pts/../pts/3 is given twice (as /dev/pts/3)".
std::string givenTwice(const PortChoice& first, const PortChoice& again);

// Four wait-state counts 0 to 4 for the chip selects 0 to 3, "0,1,2,3"; false when malformed.
bool parseWaitStates(const std::string& text, int counts[4]);

// A whole decimal number in [low, high]; false otherwise.
bool parseInt(const std::string& text, int low, int high, int* value);

} // namespace dwlcli

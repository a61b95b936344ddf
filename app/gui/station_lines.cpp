#include "app/gui/station_lines.h"

#include "app/options/option_values.h"
#include "app/options/server_address.h"
#include "app/options/station_event_keys.h"
#include "link/dwl12pclib.h"
#include "ui/dwl51mmi.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

using nlohmann::json;
namespace k = stationkeys;

namespace {

// A line of the error output longer than this is cut in the logs.
constexpr size_t kLongestLogged = 400;

// The fields of a line, read without trusting their types: a field of another type than
// expected reads as missing.
std::string text(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end()) return "";
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number()) return it->dump();
    return "";
}

// Numbers beyond any count or size the station reports are cut, so that they convert safely.
double number(const json& j, const char* key, double missing) {
    constexpr double kLargest = 1e15;
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return missing;
    const double value = it->get<double>();
    return value > kLargest ? kLargest : value < -kLargest ? -kLargest : value;
}

uint32_t word(double value) {
    return value < 0 ? 0 : static_cast<uint32_t>(static_cast<long long>(value) & 0xFFFFFFFFll);
}

bool flag(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_boolean() && it->get<bool>();
}

const json& object(const json& j, const char* key) {
    static const json none = json::object();
    const auto it = j.find(key);
    return it != j.end() && it->is_object() ? *it : none;
}

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string cut(const std::string& s) {
    return s.size() <= kLongestLogged ? s : s.substr(0, kLongestLogged) + "...";
}

std::string format(const char* fmt, double value) {
    char out[64];
    std::snprintf(out, sizeof out, fmt, value);
    return out;
}

std::string hex(uint32_t value) {
    char out[16];
    std::snprintf(out, sizeof out, "0x%08X", static_cast<unsigned>(value));
    return out;
}

std::string clockText(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char out[32];
    if (s >= 3600)
        std::snprintf(out, sizeof out, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(out, sizeof out, "%ld:%02ld", s / 60, s % 60);
    return out;
}

std::string imageName(const std::string& image) {
    return image == "tfs" ? "TFS" : image;
}

void addLine(std::deque<std::string>& log, unsigned long& count, const std::string& line) {
    log.push_back(line);
    if (log.size() > kStationLogLines) log.pop_front();
    count++;
}

void portLog(StationPort& p, const std::string& time, const std::string& line) {
    addLine(p.log, p.logCount, time.empty() ? line : time + "  " + line);
}

void stationLog(StationModel& m, const std::string& time, const std::string& line) {
    addLine(m.log, m.logCount, time.empty() ? line : time + "  " + line);
}

int findPort(const StationModel& m, const std::string& name) {
    for (size_t i = 0; i < m.ports.size(); i++)
        if (m.ports[i].look.port == name) return static_cast<int>(i);
    return -1;
}

int portFor(StationModel& m, const std::string& name) {
    const int found = findPort(m, name);
    if (found >= 0) return found;
    StationPort p;
    p.look.port = name;
    p.look.state = "Starting";
    m.ports.push_back(p);
    return static_cast<int>(m.ports.size()) - 1;
}

void readStarted(StationModel& m, const json& j, const std::string& time) {
    m.started = true;
    m.stopReason.clear();
    m.station = text(j, k::kStation);
    m.mode = text(j, k::kMode);
    m.baud = static_cast<long>(number(j, k::kBaud, 0));
    m.results = text(j, k::kResults);
    m.images.clear();
    const auto images = j.find(k::kImages);
    if (images != j.end() && images->is_array()) {
        for (const json& i : *images) {
            if (!i.is_object()) continue;
            StationImage image;
            image.kind = text(i, k::kKind);
            image.path = text(i, k::kPath);
            image.size = static_cast<long long>(number(i, k::kSize, -1));
            image.byteSum = word(number(i, k::kByteSum, 0));
            m.images.push_back(image);
        }
    }
    // The station's own list of ports decides the tiles and their order: it may name a port
    // otherwise than the settings did.
    const auto ports = j.find(k::kPorts);
    if (ports != j.end() && ports->is_array()) {
        std::vector<StationPort> listed;
        for (const json& entry : *ports) {
            const std::string name = entry.is_object()   ? text(entry, k::kPort)
                                     : entry.is_string() ? entry.get<std::string>()
                                     : entry.is_number() ? entry.dump()
                                                         : "";
            bool twice = false;
            for (const StationPort& l : listed)
                twice = twice || l.look.port == name;
            if (name.empty() || twice) continue;
            StationPort p = m.ports[portFor(m, name)];
            if (entry.is_object() && !text(entry, k::kDevice).empty())
                p.look.device = text(entry, k::kDevice);
            listed.push_back(p);
        }
        m.ports = listed;
    }
    std::string line = "station " + m.station + " started: mode " + m.mode + ", " +
                       std::to_string(m.baud) + " baud";
    for (const StationImage& image : m.images)
        line += ", " + image.kind + " " + image.path + " (" + std::to_string(image.size) +
                " bytes, sum " + hex(image.byteSum) + ")";
    line += ", results in " + m.results;
    stationLog(m, time, line);
}

void readTotals(StationModel& m, const json& j) {
    m.totals.pass = static_cast<long>(number(j, k::kPass, 0));
    m.totals.fail = static_cast<long>(number(j, k::kFail, 0));
    // No finished run, no yield.
    m.totals.yieldPercent =
        m.totals.pass + m.totals.fail > 0 ? number(j, k::kYieldPercent, -1) : -1;
    m.totals.medianSeconds = number(j, k::kMedianSeconds, -1);
    m.totals.perHour = number(j, k::kPerHour, -1);
}

// What the port waits for: its unit's scan, the switch-on of the handset of a unit scanned, or
// a handset.
void showWaiting(StationTileLook& look, bool unitRequired) {
    const std::string what = !look.unit.empty() ? "Unit " + look.unit + ": switch the handset on"
                             : unitRequired     ? "Scan the unit"
                                                : "";
    if (look.light == LIGHT_PASS || look.light == LIGHT_FAIL) {
        // The light of the last handset stays until the next one starts.
        look.note = what.empty() ? "Waiting for the next handset" : what;
    } else {
        look.light = LIGHT_WAITING;
        look.state = look.unit.empty() ? (unitRequired ? "Scan the unit" : "Waiting for a handset")
                                       : "Switch the handset on";
        look.detail = look.unit.empty() ? "" : "Unit " + look.unit;
        look.note.clear();
    }
}

void readWaiting(StationPort& p, const json& j, const std::string& time) {
    StationTileLook& look = p.look;
    look.percent = -1;
    look.unit = text(j, k::kUnit);
    const bool required = flag(j, k::kUnitRequired);
    showWaiting(look, required);
    portLog(p, time,
            !look.unit.empty() ? "waiting for a handset (unit " + look.unit + ")"
            : required         ? "waiting for the unit's scan"
                               : "waiting for a handset");
}

void readUnitScanned(StationPort& p, const json& j, const std::string& time) {
    const std::string unit = text(j, k::kUnit);
    if (flag(j, k::kHeld)) {
        if (p.look.light == LIGHT_RUNNING) p.look.note = "Next: unit " + unit;
        portLog(p, time, "unit " + unit + " held for the next run (a run is in progress)");
        return;
    }
    portLog(p, time, "unit " + unit + " for the next handset");
    if (p.look.light == LIGHT_RUNNING || p.look.light == LIGHT_LOST) return;
    p.look.unit = unit;
    showWaiting(p.look, false);
}

void readRunStarted(StationPort& p, const json& j, const std::string& time) {
    StationTileLook& look = p.look;
    p.runId = text(j, k::kRunId);
    p.stage.clear();
    look.light = LIGHT_RUNNING;
    look.state = "Starting";
    look.detail.clear();
    look.note.clear();
    look.percent = 0;
    look.unit = text(j, k::kUnit);
    portLog(p, time,
            "run " + p.runId + " started" + (look.unit.empty() ? "" : " (unit " + look.unit + ")"));
}

void readProgress(StationPort& p, const json& j, const std::string& time) {
    StationTileLook& look = p.look;
    const std::string stage = text(j, k::kStage);
    const std::string image = imageName(text(j, k::kImage));
    const double percent = number(j, k::kPercent, -1);
    look.light = LIGHT_RUNNING;
    look.note.clear();
    look.percent = percent < 0 ? -1 : percent > 100 ? 100 : static_cast<int>(percent);
    if (stage == k::kStageWriting) {
        look.state = "Writing " + (image.empty() ? std::string("image") : image);
        if (look.percent >= 0) look.state += " " + std::to_string(look.percent) + " %";
        look.detail = format("%.1f kB/s", number(j, k::kBytesPerSecond, 0) / 1000.0);
        const double eta = number(j, k::kEtaSeconds, -1);
        if (eta >= 0) look.detail += ", " + clockText(eta) + " left";
    } else {
        look.state = stage == k::kStageBooting ? "Booting" : stage;
        look.detail.clear();
    }
    // The log names each stage once, not every step of its progress.
    if (stage + image != p.stage) {
        p.stage = stage + image;
        std::string line = stage;
        if (!image.empty())
            line += " the " + image + " image, " +
                    std::to_string(static_cast<long long>(number(j, k::kBytesTotal, 0))) + " bytes";
        portLog(p, time, line);
    }
}

// The run's result object, one line per field; the sectors as counts and the sectors that
// were sent again or failed.
std::vector<std::string> resultLines(const json& r) {
    std::vector<std::string> lines;
    for (auto it = r.begin(); it != r.end(); ++it) {
        if (it.key() != "sectors" || !it->is_array()) {
            lines.push_back(it.key() + ": " + it->dump());
            continue;
        }
        long written = 0, untouched = 0;
        std::string resent, failed;
        for (const json& s : *it) {
            if (!s.is_object()) continue;
            const std::string state = text(s, "result");
            const std::string where = hex(word(number(s, "address", 0)));
            if (state == "written") written++;
            if (state == "untouched") untouched++;
            if (state == "resent") resent += " " + where;
            if (state == "failed") failed += " " + where;
        }
        lines.push_back("sectors: " + std::to_string(it->size()) + ", " + std::to_string(written) +
                        " written, " + std::to_string(untouched) + " untouched");
        if (!resent.empty()) lines.push_back("sectors sent again:" + resent);
        if (!failed.empty()) lines.push_back("sectors failed:" + failed);
    }
    return lines;
}

void readRunEnded(StationPort& p, const json& j, const std::string& time) {
    StationTileLook& look = p.look;
    const json& r = object(j, k::kResult);
    const json& outcome = object(r, "result");
    const std::string message = text(outcome, "message");
    const std::string duration = format("%.1f s", number(j, k::kDurationSeconds, 0));
    const bool passed = flag(j, k::kPassed);
    look.percent = -1;
    look.note.clear();
    if (passed) {
        look.light = LIGHT_PASS;
        look.state = "PASS";
        look.detail = duration;
        look.pass++;
    } else {
        look.light = LIGHT_FAIL;
        // A cancelled run is no verdict on the handset: counted apart, as the totals do.
        if (flag(j, k::kCancelled)) {
            look.cancelled++;
            look.state = "CANCELLED";
            look.detail = "The flash may be partly written";
        } else {
            look.fail++;
            look.state = "FAIL";
            look.detail = trimmed(message);
            if (look.detail.empty()) look.detail = "exit status " + text(r, "exit_status");
        }
    }
    if (j.contains("recorded") && !flag(j, "recorded")) look.note = "NOT RECORDED";
    std::string line = (passed ? "PASS in " : look.state + " after ") + duration + ": " + message;
    if (!passed)
        line += " (family " + text(outcome, "family") + ", code " + text(outcome, "code") +
                ", exit " + text(r, "exit_status") + ")";
    if (!text(j, k::kUnit).empty()) line += " (unit " + text(j, k::kUnit) + ")";
    portLog(p, time, line);
    if (look.note == "NOT RECORDED") portLog(p, time, "NOT RECORDED: " + text(j, "record_error"));
    p.lastResult = resultLines(r);
    p.runId.clear();
}

int readPortEvent(StationModel& m, const std::string& event, const json& j,
                  const std::string& time) {
    const std::string name = text(j, k::kPort);
    if (name.empty()) return kLineNotRead;
    const int index = portFor(m, name);
    StationPort& p = m.ports[index];
    const std::string device = text(j, k::kDevice);
    if (!device.empty()) p.look.device = device;
    if (event == k::kWaiting) {
        readWaiting(p, j, time);
    } else if (event == k::kUnitScanned) {
        readUnitScanned(p, j, time);
    } else if (event == k::kUnitRefused) {
        p.look.note = "Scan refused: " + text(j, k::kReason);
        portLog(p, time, "scan refused: " + text(j, k::kReason));
    } else if (event == k::kRunStarted) {
        readRunStarted(p, j, time);
    } else if (event == k::kProgress) {
        readProgress(p, j, time);
    } else if (event == k::kRunEnded) {
        readRunEnded(p, j, time);
    } else if (event == k::kPortLost) {
        p.look.light = LIGHT_LOST;
        p.look.state = "PORT LOST";
        p.look.detail = text(j, k::kReason);
        p.look.note.clear();
        p.look.percent = -1;
        portLog(p, time, "port lost: " + p.look.detail);
    } else {
        p.look.light = LIGHT_WAITING;
        p.look.state = "Waiting for a handset";
        p.look.detail.clear();
        p.look.note = "Port back";
        portLog(p, time, "port back");
    }
    return index;
}

} // namespace

void station_Begin(StationModel& model, const std::vector<std::string>& ports, const char* state) {
    model = StationModel();
    for (const std::string& port : ports)
        model.ports[portFor(model, port)].look.state = state;
}

int station_ReadLine(StationModel& m, const std::string& line) {
    const json j = json::parse(line, nullptr, false);
    const std::string event = j.is_object() ? text(j, k::kEvent) : "";
    if (event.empty()) {
        if (!line.empty()) stationLog(m, "", cut(line));
        return kLineNotRead;
    }
    const std::string time = text(j, k::kTime);
    // A scan refused for no port of the station is the station's to say.
    if (event == k::kUnitRefused && text(j, k::kPort).empty()) {
        stationLog(m, time, "scan refused: " + text(j, k::kReason) + ": " + cut(text(j, k::kScan)));
        return kStationWide;
    }
    if (event == k::kWaiting || event == k::kRunStarted || event == k::kProgress ||
        event == k::kRunEnded || event == k::kPortLost || event == k::kPortBack ||
        event == k::kUnitScanned || event == k::kUnitRefused) {
        const int index = readPortEvent(m, event, j, time);
        if (index == kLineNotRead) stationLog(m, time, "no port in: " + cut(line));
        return index;
    }
    if (event == k::kStationStarted) {
        readStarted(m, j, time);
    } else if (event == k::kTotals) {
        readTotals(m, j);
    } else if (event == k::kServer) {
        // The runs waiting for the line's results server, and when it was last reached.
        char said[160];
        const double reached = number(j, k::kLastReachedSeconds, -1);
        const long waiting = static_cast<long>(number(j, k::kWaitingRuns, 0));
        if (reached >= 0)
            snprintf(said, sizeof said, "server: %ld waiting, reached %.0f s ago", waiting,
                     reached);
        else
            snprintf(said, sizeof said, "server: %ld waiting, not reached yet", waiting);
        const std::string error = text(j, k::kError);
        const std::string server = error.empty() ? said : std::string(said) + " (" + error + ")";
        if (!error.empty() && error != m.serverError) stationLog(m, time, error);
        m.serverError = error;
        m.server = server;
    } else if (event == k::kUnrecorded) {
        // Finished runs the results file refused: they wait in its journal.
        const long waiting = static_cast<long>(number(j, k::kWaitingRuns, 0));
        std::string said = waiting > 0 ? "NOT RECORDED: " + std::to_string(waiting) +
                                             " run(s) wait in " + text(j, k::kJournal)
                                       : "every run is recorded";
        if (!text(j, k::kError).empty()) said += " (" + text(j, k::kError) + ")";
        stationLog(m, time, said);
    } else if (event == k::kStationStopped) {
        m.stopReason = text(j, k::kReason);
        for (StationPort& p : m.ports)
            p.look.note = "Stopped";
        stationLog(m, time, "station stopped: " + m.stopReason);
    } else {
        stationLog(m, time, cut(line));
    }
    return kStationWide;
}

int station_ReadErrorLine(StationModel& m, const std::string& line) {
    if (line.size() > 2 && line[0] == '[') {
        const size_t close = line.find("] ");
        if (close != std::string::npos) {
            const std::string name = line.substr(1, close - 1);
            for (size_t i = 0; i < m.ports.size(); i++) {
                StationPort& p = m.ports[i];
                if (p.look.port != name && p.look.device != name) continue;
                portLog(p, "", cut(line.substr(close + 2)));
                return static_cast<int>(i);
            }
        }
    }
    stationLog(m, "", cut(line));
    return kStationWide;
}

void station_Ended(StationModel& m, const std::string& why) {
    for (StationPort& p : m.ports) {
        if (p.look.light == LIGHT_RUNNING) {
            // Nobody knows how far the run went: no count, and no light that could pass for one.
            p.look.light = LIGHT_FAIL;
            p.look.state = "NO RESULT";
            p.look.detail = "The station ended during the run";
            p.look.percent = -1;
            portLog(p, "", "the station ended during run " + p.runId);
        }
        p.look.note = m.stopReason.empty() ? "Station ended" : "Stopped";
    }
    stationLog(m, "", why);
}

std::vector<std::string> station_CommandArgs(const StationSettings& s) {
    std::vector<std::string> args = {"station", "--json-lines"};
#ifndef _WIN32
    // The tiles' scan fields reach the station on its standard input (the Windows station takes
    // its stops there, and no scans yet).
    args.push_back("--units-from-stdin");
    if (s.requireUnit) args.push_back("--require-unit");
#endif
    for (const std::string& port : s.ports)
        args.insert(args.end(), {"--port", port});
    const std::pair<const char*, const std::string*> files[] = {
        {"--bin", &s.bin}, {"--ogm", &s.ogm}, {"--tfs", &s.tfs}};
    for (const auto& [option, path] : files)
        if (!path->empty()) args.insert(args.end(), {option, *path});
    if (s.mode >= 0) args.insert(args.end(), {"--mode", dwlcli::modeName(s.mode)});
    if (s.baud > 0) args.insert(args.end(), {"--speed", std::to_string(s.baud)});
    if (!s.station.empty()) args.insert(args.end(), {"--station", s.station});
    if (!s.results.empty()) args.insert(args.end(), {"--results", s.results});
    return args;
}

StationImage station_ReadImage(const std::string& kind, const std::string& path) {
    StationImage image;
    image.kind = kind;
    image.path = path;
    // A pipe or a device given as an image would keep the window waiting: refused unopened.
    FILE* file = dwl12_10OpenWholeFile(path.c_str());
    if (file == nullptr) {
        image.problem = dwl12_11OpenErrorText(errno);
        return image;
    }
    uint8_t block[65536];
    long long size = 0;
    uint32_t sum = 0;
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        size += static_cast<long long>(got);
        sum += dwl51_8ByteSum(block, static_cast<uint32_t>(got));
    }
    if (std::ferror(file))
        image.problem = std::strerror(errno);
    else
        image.size = size;
    image.byteSum = sum;
    std::fclose(file);
    return image;
}

std::vector<StationImage> station_ReadImages(const StationSettings& s) {
    std::vector<StationImage> images;
    if (!s.bin.empty()) images.push_back(station_ReadImage("binary", s.bin));
    if (!s.ogm.empty()) images.push_back(station_ReadImage("ogm", s.ogm));
    if (!s.tfs.empty()) images.push_back(station_ReadImage("tfs", s.tfs));
    return images;
}

bool station_ParseOptions(const std::vector<std::string>& args, StationSettings* settings,
                          bool* start, std::string* why) {
    StationSettings s = *settings;
    std::vector<std::string> ports;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& option = args[i];
        if (option == "--start") {
            *start = true;
            continue;
        }
        if (option == "--require-unit") {
            s.requireUnit = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *why = option.rfind("-", 0) == 0 ? option + " needs a value"
                                             : "unknown argument " + option;
            return false;
        }
        const std::string& value = args[++i];
        if (option == "--port" || option == "-p") {
            dwlcli::PortChoice choice;
            if (!dwlcli::parsePort(value, &choice, why)) return false;
            ports.push_back(value);
        } else if (option == "--bin" || option == "--ogm" || option == "--tfs" ||
                   option == "--results") {
            // A results server's address (postgresql://..., host=... dbname=...) is no path.
            const bool server = option == "--results" && dwlcli::isServerAddress(value);
            std::error_code error;
            const std::string path =
                server ? value : std::filesystem::absolute(value, error).string();
            std::string& field = option == "--bin"   ? s.bin
                                 : option == "--ogm" ? s.ogm
                                 : option == "--tfs" ? s.tfs
                                                     : s.results;
            field = error ? value : path;
        } else if (option == "--mode" || option == "-m") {
            s.mode = dwlcli::parseMode(value);
            if (s.mode < 0) {
                *why = "unknown mode " + value + ": " + dwlcli::modeList();
                return false;
            }
        } else if (option == "--speed" || option == "-s") {
            const int index = dwlcli::parseSpeed(value);
            if (index < 0) {
                *why = "unknown speed " + value + ": " + dwlcli::speedList();
                return false;
            }
            s.baud = a_PCSpeedValue[index];
        } else if (option == "--station") {
            s.station = value;
        } else {
            *why = "unknown option " + option;
            return false;
        }
    }
    if (!ports.empty()) s.ports = ports;
    *settings = s;
    return true;
}

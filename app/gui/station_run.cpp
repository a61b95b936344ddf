#include "app/gui/station_run.h"

#include "app/options/option_values.h"
#include "app/options/server_address.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char* const kStationCloseInformation =
    "The window stays until the station has stopped and shows the runs' verdicts; close it then.";
const char* const kStationFinishButton = "Finish the runs in progress";
const char* const kStationCancelButton = "Cancel the runs in progress";
const char* const kStationKeepButton = "Keep running";

namespace {

bool active(const StationRun& run) {
    return run.phase != STATION_IDLE;
}

std::string figure(double value, const char* unit, int decimals) {
    if (value < 0) return "--";
    char out[64];
    std::snprintf(out, sizeof out, "%.*f%s", decimals, value, unit);
    return out;
}

std::string joined(const std::deque<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

void stationrun_Init(StationRun& run, const std::vector<std::string>& ports) {
    run = StationRun();
    station_Begin(run.model, ports, "Not started");
}

void stationrun_Start(StationRun& run, const StationSettings& settings) {
    if (active(run)) return;
    run.closeAsked = false;
    station_Begin(run.model, settings.ports);
    run.phase = STATION_RUNNING;
    run.ran = true;
    run.unlockAfterStop = false;
    run.endText.clear();
    run.lastError.clear();
}

StationInterrupts stationrun_Stop(StationRun& run) {
    StationInterrupts send;
    if (run.phase == STATION_RUNNING) {
        run.phase = STATION_STOPPING;
        send.now = 1;
    } else if (run.phase == STATION_STOPPING) {
        run.phase = STATION_CANCELLING;
        send.now = 1;
    }
    return send;
}

StationInterrupts stationrun_CancelRuns(StationRun& run) {
    StationInterrupts send;
    if (run.phase == STATION_RUNNING) {
        run.phase = STATION_CANCELLING;
        send.now = 1;
        send.later = true;
    } else if (run.phase == STATION_STOPPING) {
        run.phase = STATION_CANCELLING;
        send.now = 1;
    }
    return send;
}

bool stationrun_MayUnlock(const StationRun& run, bool locked) {
    return locked && !run.unlockAfterStop &&
           (run.phase == STATION_IDLE || run.phase == STATION_RUNNING);
}

std::string stationrun_UnlockQuestion(const StationRun& run) {
    return active(run) ? "Production runs with these settings. Unlocking them stops the station: "
                         "the runs in progress finish, then the ports stop.\n\nUnlock the settings?"
                       : "These are the settings of the station's production.\n\nUnlock them for "
                         "changes?";
}

bool stationrun_UnlockAnswered(StationRun& run, StationInterrupts* interrupts) {
    *interrupts = StationInterrupts();
    if (!active(run)) return true;
    run.unlockAfterStop = true;
    if (run.phase == STATION_RUNNING) *interrupts = stationrun_Stop(run);
    return false;
}

bool stationrun_ReadLine(StationRun& run, const std::string& line) {
    const bool wasStarted = run.model.started;
    station_ReadLine(run.model, line);
    return run.model.started && !wasStarted;
}

void stationrun_ReadErrorLine(StationRun& run, const std::string& line) {
    if (station_ReadErrorLine(run.model, line) == kStationWide) run.lastError = line;
}

bool stationrun_Ended(StationRun& run, const std::string& how) {
    station_Ended(run.model, how);
    run.phase = STATION_IDLE;
    run.endText = how;
    const bool unlock = run.unlockAfterStop || !run.model.started;
    run.unlockAfterStop = false;
    // A close asked while production ran waited for this end: the window stays with the runs'
    // verdicts on its tiles, and the operator closes it once they are read.
    return unlock;
}

StationSettings stationrun_SettingsOfStation(const StationModel& model, StationSettings shown) {
    shown.bin.clear();
    shown.ogm.clear();
    shown.tfs.clear();
    for (const StationImage& image : model.images) {
        if (image.kind == "binary") shown.bin = image.path;
        if (image.kind == "ogm") shown.ogm = image.path;
        if (image.kind == "tfs") shown.tfs = image.path;
    }
    if (!model.mode.empty()) shown.mode = dwlcli::parseMode(model.mode);
    if (model.baud > 0) shown.baud = model.baud;
    return shown;
}

StationCloseStep stationrun_CloseAsked(StationRun& run, bool questionOpen) {
    if (!active(run)) return STATION_CLOSE_NOW;
    if (run.phase == STATION_CANCELLING || questionOpen) {
        // The station is ending, or the question open answers first.
        if (run.phase == STATION_CANCELLING) run.closeAsked = true;
        return STATION_CLOSE_WAIT;
    }
    return STATION_CLOSE_ASK;
}

std::string stationrun_CloseQuestion(const StationRun& run) {
    return "Production is running on " + stationrun_PortsText(run.model.ports.size()) + ".";
}

bool stationrun_CloseAnswered(StationRun& run, StationCloseAnswer answer,
                              StationInterrupts* interrupts) {
    *interrupts = StationInterrupts();
    if (answer == STATION_ANSWER_FINISH && run.phase == STATION_RUNNING) {
        run.closeAsked = true;
        *interrupts = stationrun_Stop(run);
    } else if (answer == STATION_ANSWER_CANCEL && active(run)) {
        run.closeAsked = true;
        *interrupts = stationrun_CancelRuns(run);
    }
    // The station may have ended while the question was open.
    return !active(run);
}

StationButtons stationrun_Buttons(const StationRun& run, bool locked) {
    StationButtons b;
    b.start = run.phase == STATION_IDLE;
    b.stop = run.phase == STATION_RUNNING || run.phase == STATION_STOPPING;
    b.stopText = run.phase == STATION_STOPPING ? "Cancel runs" : "Stop";
    b.unlock = stationrun_MayUnlock(run, locked);
    return b;
}

std::string stationrun_PortsText(size_t count) {
    return count == 1 ? "1 port" : std::to_string(count) + " ports";
}

std::string stationrun_StatusText(const StationRun& run) {
    switch (run.phase) {
    case STATION_RUNNING:
        return "Running on " + stationrun_PortsText(run.model.ports.size()) + "." +
               (run.model.station.empty() ? "" : " Station " + run.model.station + ".");
    case STATION_STOPPING:
        return "Stopping: the runs in progress finish, then the ports stop. Press Stop again to "
               "cancel the runs in progress.";
    case STATION_CANCELLING: return "Cancelling the runs in progress.";
    case STATION_IDLE: break;
    }
    if (!run.ran) return "Not running. Start begins production on the ports named.";
    std::string text = "Stopped: " + run.endText + ".";
    if (run.closeAsked)
        text += " The tiles show the verdicts of the last runs; the window may be closed now.";
    // A station that did not stop by itself has likely said why last.
    if (run.model.stopReason.empty() && !run.lastError.empty()) text += "\n" + run.lastError;
    return text;
}

std::string stationrun_FiguresText(const StationTotalsLook& t) {
    return "PASS " + std::to_string(t.pass) + "   FAIL " + std::to_string(t.fail) + "   yield " +
           figure(t.yieldPercent, " %", 1);
}

std::string stationrun_TimesText(const StationTotalsLook& t) {
    return "median " + figure(t.medianSeconds, " s", 1) + "   " + figure(t.perHour, "", 0) +
           " handsets per hour";
}

std::string stationrun_ResultsText(const std::string& file, const std::string& server) {
    std::string text = file.empty() ? "" : "Runs recorded in " + file;
    if (!server.empty()) text += "; " + server;
    return text;
}

std::string stationrun_CountsText(const StationTileLook& look) {
    std::string text = "pass " + std::to_string(look.pass) + "   fail " + std::to_string(look.fail);
    if (look.cancelled > 0) text += "   cancelled " + std::to_string(look.cancelled);
    return text;
}

std::string stationrun_ImageText(const StationImage& image) {
    // The name after the last folder, whichever separator the path uses.
    const size_t slash = image.path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? image.path : image.path.substr(slash + 1);
    if (image.size < 0) return name + ": " + image.problem;
    char sum[16];
    std::snprintf(sum, sizeof sum, "%08X", static_cast<unsigned>(image.byteSum));
    return name + ": " + std::to_string(image.size) + " bytes, sum 0x" + sum;
}

std::string stationrun_LogTitle(const StationModel& model, int whose) {
    if (whose >= 0 && whose < static_cast<int>(model.ports.size()))
        return "Log of " + model.ports[whose].look.port + "  " + model.ports[whose].look.device;
    return "Station log";
}

std::string stationrun_LogText(const StationModel& model, int whose) {
    if (whose < 0 || whose >= static_cast<int>(model.ports.size())) return joined(model.log);
    const StationPort& p = model.ports[whose];
    std::string text = joined(p.log);
    if (!p.lastResult.empty()) {
        text += "\nResult of the last run:\n";
        for (const std::string& line : p.lastResult)
            text += "  " + line + "\n";
    }
    return text;
}

unsigned long stationrun_LogCount(const StationModel& model, int whose) {
    if (whose < 0 || whose >= static_cast<int>(model.ports.size())) return model.logCount;
    return model.ports[whose].logCount;
}

std::vector<std::string> stationrun_ModeNames() {
    std::vector<std::string> names;
    for (int mode = 0; mode <= 6; mode++)
        names.push_back(dwlcli::modeName(mode));
    return names;
}

std::string stationrun_MendedResults(const std::string& saved) {
    if (saved.empty() || saved[0] != '/' || dwlcli::isServerAddress(saved)) return saved;
    for (size_t slash = 0; (slash = saved.find('/', slash)) != std::string::npos; slash++) {
        std::string rest = saved.substr(slash + 1);
        for (const char* scheme : {"postgresql:/", "postgres:/"}) {
            const size_t length = std::strlen(scheme);
            if (rest.compare(0, length, scheme) == 0 &&
                rest.compare(0, length + 1, std::string(scheme) + "/") != 0)
                return rest.substr(0, length) + "/" + rest.substr(length);
        }
        // key=value pairs (more than one: a file may be named "dbname=x.sqlite"), the first key
        // right after the folder.
        const size_t equals = rest.find('=');
        if (equals != std::string::npos && equals < rest.find('/') &&
            rest.find(' ') != std::string::npos && dwlcli::isServerAddress(rest))
            return rest;
    }
    return saved;
}

int stationrun_ColumnsFor(int count, int width, int height) {
    constexpr double kShape = 4.0 / 3.0; // width over height
    if (count <= 0) return 1;
    int best = 1;
    double bestScale = -1;
    for (int columns = 1; columns <= count; columns++) {
        const int rows = (count + columns - 1) / columns;
        const double w = static_cast<double>(width) / columns;
        const double h = static_cast<double>(height) / rows;
        if (w < kStationTileMinWidth) break;
        // How large a tile of the chosen shape can be in its cell.
        const double scale = std::min(w / kShape, h);
        if (scale > bestScale) {
            bestScale = scale;
            best = columns;
        }
    }
    return best;
}

#include "app/cli/operator_session.h"

#include "app/cli/exit_status.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"
#include "link/com_map.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "startup/dwl50dev.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"
#ifdef DWL_CLI_WITH_SERIAL
#include "link/serial_backend.h"
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dwlcli {

namespace {

OperatorSession* g_session = nullptr;

// The panel's windows run headless; what they show reaches the session.
class HeadlessView : public UiView {
  public:
    void panelDisplayed(int panel) override {
        if (g_session != nullptr) g_session->panelShown(panel);
    }
    void controlChanged(int panel, int control) override {
        if (g_session != nullptr && panel == v_Panel && control == MAIN_PROGRESS_PERCENT)
            g_session->progressChanged();
    }
    void processEvents() override {}
    void runEventLoop() override {
        while (!uis_QuitRequested() && uis_PendingEvents() > 0)
            uis_DispatchEvents();
    }
    void quitEventLoop() override {}
    int fileSelect(const char*, const char*, const char*, std::string& path) override {
        return g_session != nullptr ? g_session->answerFileRequest(path) : VAL_NO_FILE_SELECTED;
    }
    void message(const char* title, const char* text) override {
        if (g_session != nullptr) g_session->popup(title, text);
    }
};

HeadlessView g_view;

// The result and description-file windows of the layouts.
bool isResultWindow(const UiPanel& p) {
    const std::string file = fs::path(p.layoutFile).filename().string();
    if (file == "mmi.uir")
        return p.resource == MMI_PANEL_SUCCESS || p.resource == MMI_PANEL_TIMEOUT;
    return file == "Utility.uir";
}

std::string stripFrame(const char* label) {
    std::string text = label != nullptr ? label : "";
    // A log line is the text with one blank before and one after.
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const long ms =
        static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    char out[48];
    snprintf(out, sizeof out, "%s.%03ld", text, ms);
    return out;
}

// What the handset ring connects: the emulated handset of this process or the serial ports.
std::unique_ptr<sim::SimSession> g_simSession;
sim::HandsetConfig g_simConfig;

void selectLine(int emulated) {
    // The stand-in handset programs of the data folder serve the emulated handset only.
    v_SpmFromDataFolder = emulated != 0 ? 1 : 0;
    if (emulated != 0) {
        if (!g_simSession) g_simSession = std::make_unique<sim::SimSession>(g_simConfig);
        return;
    }
    g_simSession.reset();
#ifdef DWL_CLI_WITH_SERIAL
    dwl_InstallSerialBackend();
#endif
}

} // namespace

struct OperatorSession::Line {
    std::string previousDir;
};

OperatorSession::OperatorSession(RunSettings settings)
    : settings_(std::move(settings)), out_(settings_.json ? stderr : stdout),
      meter_(out_, isatty(fileno(out_)) != 0) {
    line_ = std::make_unique<Line>();
}

OperatorSession::~OperatorSession() {
    meter_.endImage();
    if (started_) {
        for (int port = 1; port <= 4; port++)
            dwl12_1UartStop(static_cast<uint8_t>(port));
        g_simSession.reset();
        dwl50_2EndProgram();
        uis_Reset();
        uis_SetView(nullptr);
        v_SelectLineHook = nullptr;
        dwl_ClearComDevices();
    }
    if (log_ != nullptr) fclose(log_);
    if (g_session == this) g_session = nullptr;
    if (!line_->previousDir.empty() && chdir(line_->previousDir.c_str()) != 0) {
        // The process ends next; nothing depends on the folder any more.
    }
}

void OperatorSession::printLine(FILE* stream, const std::string& text) {
    if (stream == out_) meter_.clearLine();
    fprintf(stream, "%s\n", text.c_str());
    fflush(stream);
    if (stream == out_) meter_.redraw();
}

int OperatorSession::failWith(int status, const std::string& message) {
    meter_.endImage();
    report_.exitStatus = status;
    report_.result.message = message;
    fprintf(stderr, "dwl: %s\n", message.c_str());
    return status;
}

void OperatorSession::logLine(const char* label) {
    const std::string text = stripFrame(label);
    if (log_ != nullptr) {
        fprintf(log_, "%s  %s\n", timestamp().c_str(), text.c_str());
        fflush(log_);
    }
    // An image step announces itself in the log before its first sector.
    const DownloadContext& c = sg_DownloadContext;
    const bool step = text.find("sector by sector") != std::string::npos;
    if (step && text.find("TFS") != std::string::npos)
        meter_.beginImage("tfs   ", c.TfsOgm.Size, dwl_Now());
    else if (step && text.find("binary") != std::string::npos)
        meter_.beginImage("binary", c.Cla.Size, dwl_Now());
    else if (step && text.find("ogm") != std::string::npos)
        meter_.beginImage("ogm   ", c.Ogm.Size, dwl_Now());
    printLine(out_, text);
}

void OperatorSession::progressChanged() {
    int percent = 0;
    if (GetCtrlVal(v_Panel, MAIN_PROGRESS_PERCENT, &percent) < 0) return;
    meter_.update(percent, dwl_Now());
}

void OperatorSession::panelShown(int panel) {
    const UiPanel* p = uis_Panel(panel);
    if (p == nullptr) return;
    const std::string file = fs::path(p->layoutFile).filename().string();
    // The notices to the operator: switch the handset on, formatting.
    if (file == "mmi.uir" && (p->resource == MMI_PANEL_TURN_ON || p->resource == MMI_PANEL_FORMAT))
        printLine(out_, "> " + uis_ControlText(panel, MMI_WINDOW_TEXT));
}

void OperatorSession::popup(const char* title, const char* text) {
    popups_.push_back(std::string(title) + ": " + text);
}

int OperatorSession::answerFileRequest(std::string& path) {
    if (fileAnswers_.empty()) return VAL_NO_FILE_SELECTED;
    path = fileAnswers_.front();
    fileAnswers_.erase(fileAnswers_.begin());
    return VAL_EXISTING_FILE_SELECTED;
}

bool OperatorSession::takeResultWindow() {
    int newest = 0;
    for (int panel : uis_LivePanels()) {
        if (seenWindows_.count(panel) != 0) continue;
        seenWindows_.insert(panel);
        const UiPanel* p = uis_Panel(panel);
        if (p != nullptr && isResultWindow(*p)) newest = panel;
    }
    if (newest == 0) return false;
    report_.result = readResultWindow(newest, uis_ControlText(newest, UTIL_WINDOW_TEXT));
    return report_.result.known;
}

int OperatorSession::choose(int control, int value, const char* what) {
    const int rc = uis_OperateSetValue(v_Panel, control, value);
    uis_DispatchEvents();
    if (rc < 0)
        return failWith(kExitInternal, std::string("the panel refused the ") + what + " " +
                                           std::to_string(value) + " (" + std::to_string(rc) + ")");
    return 0;
}

int OperatorSession::loadImage(int button, const std::string& path, const char* what) {
    for (int panel : uis_LivePanels())
        seenWindows_.insert(panel);
    fileAnswers_.push_back(path);
    const int rc = uis_OperateCommit(v_Panel, button);
    uis_DispatchEvents();
    fileAnswers_.clear();
    if (rc < 0)
        return failWith(kExitUsage, std::string("the panel does not take a ") + what +
                                        " image in mode " +
                                        std::to_string(sg_DownloadContext.Mode));
    if (takeResultWindow()) {
        const ReadResult& r = report_.result;
        const int status = r.family < 0 ? kExitTfsDescription : r.family;
        return failWith(status, r.message);
    }
    return 0;
}

int OperatorSession::restoreConfig() {
    // The restore reads config.txt of the working directory: another file is put there under
    // that name, in a folder of its own that shows the working directory's other files.
    const fs::path wanted = fs::path(settings_.workdir) / "config.txt";
    std::error_code ec;
    fs::path folder;
    if (!fs::equivalent(wanted, settings_.config, ec)) {
        char pattern[] = "/tmp/dwl-config-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return failWith(kExitInternal, std::string("cannot make a folder: ") + strerror(errno));
        folder = pattern;
        for (const fs::directory_entry& e : fs::directory_iterator(settings_.workdir, ec))
            if (e.path().filename() != "config.txt")
                fs::create_symlink(e.path(), folder / e.path().filename(), ec);
        fs::create_symlink(settings_.config, folder / "config.txt", ec);
        if (chdir(folder.c_str()) != 0) {
            fs::remove_all(folder, ec);
            return failWith(kExitInternal, "cannot enter " + folder.string());
        }
    }
    for (int panel : uis_LivePanels())
        seenWindows_.insert(panel);
    const int rc = uis_OperateMenuItem(v_MenuBarHandle, MENU_RESTORE);
    uis_DispatchEvents();
    if (!folder.empty()) {
        if (chdir(settings_.workdir.c_str()) != 0) {
            // Checked when the session began; it went away under us.
        }
        fs::remove_all(folder, ec);
    }
    if (rc < 0) return failWith(kExitInternal, "the panel refused the restore menu item");
    if (takeResultWindow()) {
        const ReadResult& r = report_.result;
        return failWith(r.family < 0 ? kExitTfsDescription : r.family, r.message);
    }
    return 0;
}

int OperatorSession::prepare(bool withImages) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) != nullptr) line_->previousDir = cwd;
    if (chdir(settings_.workdir.c_str()) != 0)
        return failWith(kExitNoInput, "cannot enter " + settings_.workdir + ": " + strerror(errno));
    if (!settings_.logFile.empty()) {
        log_ = fopen(settings_.logFile.c_str(), "w");
        if (log_ == nullptr)
            return failWith(kExitNoInput,
                            "cannot write " + settings_.logFile + ": " + strerror(errno));
    }
    if (settings_.port.com > 0 && !settings_.port.device.empty())
        dwl_SetComDevice(settings_.port.com, settings_.port.device);

    g_session = this;
    started_ = true;
    g_simConfig = settings_.simConfig;
    uis_Reset();
    uis_SetLayoutDirectory(settings_.layoutDir.c_str());
    v_DataFolderSearch = settings_.searchDataFolders ? 1 : 0;
    uis_SetView(&g_view);
    uis_SetListObserver([this](int panel, int control, const char* label) {
        if (panel == v_Panel && control == PANEL_OPERATOR_LOG) logLine(label);
    });
    v_SelectLineHook = selectLine;
    sg_DownloadContext = dwl_DefaultContext();
    if (dwl50_1InitPanels() != 0)
        return failWith(kExitInternal, "cannot load the layout files of " + settings_.layoutDir);
    if (takeResultWindow()) {
        // flash.txt is missing or malformed. As on the panel, the run goes on with the blocks
        // read before the error; a handset whose flash they do not describe is refused later.
        fprintf(stderr, "dwl: warning: %s (in %s)\n", report_.result.message.c_str(),
                settings_.workdir.c_str());
        report_.result = ReadResult{};
    }

    // The handset ring: the emulated handset or the serial cable.
    if (int rc = choose(MAIN_LINE, settings_.sim ? 1 : 0, "handset"); rc != 0) return rc;
    if (settings_.sim && !g_simSession) selectLine(1);

    if (!settings_.config.empty())
        if (int rc = restoreConfig(); rc != 0) return rc;
    if (settings_.model >= 0)
        if (int rc = choose(MAIN_MODEL, settings_.model, "model"); rc != 0) return rc;
    if (settings_.port.com > 0)
        if (int rc = choose(MAIN_COM_PORT, settings_.port.com, "COM port"); rc != 0) return rc;
    if (settings_.speed >= 0)
        if (int rc = choose(MAIN_SPEED, settings_.speed, "speed"); rc != 0) return rc;
    // Settings without a control of their own.
    if (settings_.productType >= 0) sg_DownloadContext.ProductType = settings_.productType;
    if (settings_.pmu >= 0) sg_DownloadContext.Pmu = settings_.pmu;
    if (settings_.downloadType >= 0) sg_DownloadContext.DownloadType = settings_.downloadType;
    if (settings_.waitStatesGiven) {
        for (int cs = 0; cs < 4; cs++) {
            const int rc =
                uis_OperateMenuItem(v_MenuBarHandle, MENU_WAIT_STATE(cs, settings_.waitStates[cs]));
            uis_DispatchEvents();
            if (rc < 0) return failWith(kExitInternal, "the panel refused a wait-state menu item");
        }
    }
    if (settings_.mode >= 0)
        if (int rc = choose(MAIN_MODE, settings_.mode, "mode"); rc != 0) return rc;
    if (withImages) {
        if (!settings_.bin.empty())
            if (int rc = loadImage(MAIN_BIN_LOAD, settings_.bin, "binary"); rc != 0) return rc;
        if (!settings_.ogm.empty())
            if (int rc = loadImage(MAIN_OGM_LOAD, settings_.ogm, "ogm"); rc != 0) return rc;
        if (!settings_.tfs.empty())
            if (int rc = loadImage(MAIN_TFS_LOAD, settings_.tfs, "TFS ogm"); rc != 0) return rc;
    }
    for (int panel : uis_LivePanels())
        seenWindows_.insert(panel);
    return 0;
}

void OperatorSession::fillReport() {
    const DownloadContext& c = sg_DownloadContext;
    report_.port = "COM" + std::to_string(c.ComPort);
    report_.device = settings_.sim ? std::string("emulated handset") : dwl_ComDevicePath(c.ComPort);
    report_.mode = c.Mode;
    report_.baud = c.SpeedIndex >= 0 && c.SpeedIndex <= 8 ? a_PCSpeedValue[c.SpeedIndex] : 0;
    int lit = 0;
    GetCtrlVal(v_Panel, MAIN_LED_FLASH, &lit);
    report_.flashIdentified = lit == 1;
    if (report_.flashIdentified) {
        report_.manufacturerId = c.FlashManufacturerId;
        report_.deviceId = c.FlashDeviceId;
        char manufacturer[16] = "";
        char device[16] = "";
        dwl10_6GetManufacturerAndFlashName(c.FlashManufacturerId, c.FlashDeviceId, manufacturer,
                                           device);
        manufacturer[15] = '\0';
        device[15] = '\0';
        report_.manufacturerName = manufacturer;
        report_.deviceName = device;
    }
    struct Group {
        const char* kind;
        const char* path;
        const ImageSlot* slot;
        int size, sum, image;
    };
    const Group groups[3] = {
        {"binary", c.ClaFile, &c.Cla, MAIN_BIN_SIZE, MAIN_BIN_SUM, 0},
        {"ogm", c.OgmFile, &c.Ogm, MAIN_OGM_SIZE, MAIN_OGM_SUM, 1},
        {"tfs", c.TfsOgmFile, &c.TfsOgm, MAIN_TFS_SIZE, MAIN_TFS_SUM, 2},
    };
    report_.images.clear();
    report_.bytesWritten = 0;
    for (const Group& g : groups) {
        if (g.slot->Data == nullptr || !modeTakesImage(c.Mode, g.image)) continue;
        ImageReport image;
        image.kind = g.kind;
        image.path = g.path;
        int size = 0;
        int sum = 0;
        GetCtrlVal(v_Panel, g.size, &size);
        GetCtrlVal(v_Panel, g.sum, &sum);
        image.size = size;
        image.byteSum = static_cast<uint32_t>(sum);
        report_.images.push_back(image);
        // Another download type writes nothing but the TFS image of mode 4.
        const bool written = c.DownloadType == 0 || (c.Mode == 4 && g.image == 2);
        if (report_.result.family == 0 && written) report_.bytesWritten += g.slot->Size;
    }
    report_.sectors.clear();
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        const SectorRecord& s = sg_SectorMap.Sector[i];
        if (s.Image != SECTOR_BINARY && s.Image != SECTOR_OGM) continue;
        SectorReport r;
        r.image = s.Image == SECTOR_BINARY ? "binary" : "ogm";
        r.address = s.Address;
        r.size = s.Size;
        r.bytesSent = s.BytesSent;
        r.tries = s.Tries;
        r.result = dwl10_87SectorStateName(s.State);
        report_.sectors.push_back(r);
    }
}

int OperatorSession::finishRun(double started) {
    meter_.endImage();
    report_.elapsedSeconds = dwl_Now() - started;
    for (const std::string& p : popups_)
        fprintf(stderr, "%s\n", p.c_str());
    const bool refused = !popups_.empty() && popups_.back().rfind("DOWNLOAD: ", 0) == 0;
    if (refused) {
        report_.result = ReadResult{};
        report_.result.message = popups_.back().substr(10);
        report_.exitStatus = kExitImageMissing;
    } else if (takeResultWindow()) {
        const ReadResult& r = report_.result;
        report_.exitStatus = r.family < 0 ? kExitTfsDescription : r.family;
    } else {
        report_.result = ReadResult{};
        report_.result.message = "the run ended without a result window";
        report_.exitStatus = kExitUnknownResult;
    }
    fillReport();
    return report_.exitStatus;
}

int OperatorSession::flash() {
    popups_.clear();
    const double started = dwl_Now();
    const int rc = uis_OperateCommit(v_Panel, MAIN_START);
    uis_DispatchEvents();
    if (rc < 0) return failWith(kExitInternal, "the panel refused the start button");
    return finishRun(started);
}

int OperatorSession::format() {
    popups_.clear();
    const double started = dwl_Now();
    const int rc = uis_OperateCommit(v_Panel, MAIN_FORMAT);
    uis_DispatchEvents();
    if (rc < 0) return failWith(kExitInternal, "the panel refused the format button");
    return finishRun(started);
}

int OperatorSession::bootOnly() {
    popups_.clear();
    const double started = dwl_Now();
    const int rc = uis_OperateCommit(v_Panel, MAIN_BOOT_START);
    uis_DispatchEvents();
    if (rc < 0) return failWith(kExitInternal, "the panel refused the boot button");
    meter_.endImage();
    report_.elapsedSeconds = dwl_Now() - started;
    fillReport();
    report_.result = ReadResult{};
    const DownloadContext& c = sg_DownloadContext;
    uint8_t index = 0;
    if (report_.flashIdentified &&
        dwl10_500GetFlashIndex(c.FlashManufacturerId, c.FlashDeviceId, &index) != 1) {
        // Identified, but flash.txt has no block with these codes: no run could write it.
        char text[160];
        snprintf(text, sizeof text,
                 "flash.txt does not describe the flash read: manufacturer code %u (0x%02X), "
                 "device code %u (0x%02X)",
                 c.FlashManufacturerId, c.FlashManufacturerId, c.FlashDeviceId, c.FlashDeviceId);
        report_.result.known = true;
        report_.result.family = 2;
        report_.result.hasCode = true;
        report_.result.code = 15;
        report_.result.message = text;
        report_.exitStatus = 2;
    } else if (report_.flashIdentified) {
        report_.result.known = true;
        report_.result.family = 0;
        report_.result.hasCode = true;
        char label[64] = "";
        GetCtrlAttribute(v_Panel, MAIN_LED_FLASH, ATTR_LABEL_TEXT, label, sizeof label);
        report_.result.message = stripFrame(label);
        report_.exitStatus = kExitSuccess;
    } else {
        report_.result.message = "the flash was not identified";
        report_.exitStatus = kExitNoFlash;
    }
    return report_.exitStatus;
}

} // namespace dwlcli

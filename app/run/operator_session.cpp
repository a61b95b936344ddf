#include "app/run/operator_session.h"

#include "app/run/exit_status.h"
#include "config/dwl56conf.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"
#include "link/com_map.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "link/wire_clock.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "session/dwl_image_step.h"
#include "session/dwl_results.h"
#include "sim/handset.h"
#include "startup/dwl50dev.h"
#include "startup/dwl50reset.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"
#ifdef DWL_CLI_WITH_SERIAL
#include "link/serial_backend.h"
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dwlcli {

namespace {

// The title of the notices the start button shows instead of running ("Please load a ...").
constexpr char kStartRefusalTitle[] = "DOWNLOAD";
// The flash-description family and its code for a flash that no description names.
constexpr int kFamilyFlashDescription = 2;
constexpr int kFamilyPcLibrary = 5;
constexpr int kCodeFlashNotDescribed = 15;
constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 4;

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

// The exit status of a result record shown in a window.
int exitStatusOf(const ReadResult& r) {
    if (r.family == kFamilyCancelled) return kExitCancelled;
    // The TFS description window has no family.
    if (r.family < 0) return kExitTfsDescription;
    return r.family;
}

} // namespace

// The panel's windows run headless; what they show reaches the session.
class HeadlessView : public UiView {
  public:
    explicit HeadlessView(OperatorSession& session) : session_(session) {}
    void panelDisplayed(int panel) override { session_.panelShown(panel); }
    void controlChanged(int, int) override {}
    void processEvents() override {}
    void runEventLoop() override {
        while (!uis_QuitRequested() && uis_PendingEvents() > 0)
            uis_DispatchEvents();
    }
    void quitEventLoop() override {}
    int fileSelect(const char*, const char*, const char*, std::string& path) override {
        return session_.answerFileRequest(path);
    }
    void message(const char* title, const char* text) override { session_.popup(title, text); }

  private:
    OperatorSession& session_;
};

OperatorSession::OperatorSession(RunSettings settings, RunLog* log, FILE* out)
    : settings_(std::move(settings)), log_(log), out_(out != nullptr   ? out
                                                      : settings_.json ? stderr
                                                                       : stdout),
      meter_(out_, isatty(fileno(out_)) != 0), view_(std::make_unique<HeadlessView>(*this)) {}

OperatorSession::~OperatorSession() {
    meter_.endImage();
    if (!panelUp_) return;
    for (int port = kFirstComPort; port <= kLastComPort; port++)
        dwl12_1UartStop(static_cast<uint8_t>(port));
    simSession_.reset();
    dwl50_2EndProgram();
    uis_Reset();
    uis_SetView(nullptr);
    v_ImageStepListener = {nullptr, nullptr};
    dwl50_3ResetRunTime();
    dwl_ClearComDevices();
}

void OperatorSession::printLine(FILE* stream, const std::string& text) {
    if (stream == out_) meter_.clearLine();
    fprintf(stream, "%s\n", text.c_str());
    fflush(stream);
    if (stream == out_) meter_.redraw();
}

void OperatorSession::printLog(const std::string& text) {
    if (log_ != nullptr) log_->line(text);
    printLine(out_, text);
}

double OperatorSession::runClock() {
    // The emulated handset's virtual time, else the monotonic clock: a run's times are
    // durations, which a change of the system clock must not bend.
    return dwl_GetClock() != nullptr ? dwl_Now() : dwl_MonotonicSeconds();
}

int OperatorSession::failWith(int status, const std::string& message) {
    meter_.endImage();
    report_.exitStatus = status;
    report_.result.message = message;
    fprintf(stderr, "dwl: %s\n", message.c_str());
    return status;
}

int OperatorSession::refuseWhatNoFlashTakes() {
    const FlashDescriptionTable& table = vg_FlashDescritpion;
    const std::string where = "flash.txt (in " + settings_.workdir + ")";
    if (table.NbFlash == 0)
        return failWith(kExitFlashDescription,
                        where + " describes no flash: " + dwl_FlashFileMessage(15));
    uint32_t largest = 0;
    for (unsigned i = 0; i < table.NbFlash && i < static_cast<unsigned>(DWL_MAX_FLASH); i++)
        largest = std::max(largest, table.Flash[i].FlashSize);
    const DownloadContext& c = sg_DownloadContext;
    const struct {
        const char* kind;
        const char* path;
        const ImageSlot& slot;
        int image;
    } images[2] = {{"binary", c.ClaFile, c.Cla, 0}, {"ogm", c.OgmFile, c.Ogm, 1}};
    for (const auto& i : images) {
        if (i.slot.Data == nullptr || !modeTakesImage(c.Mode, i.image) || i.slot.Size <= largest)
            continue;
        return failWith(kExitFlashDescription,
                        std::string("the ") + i.kind + " image " + i.path + " (" +
                            std::to_string(i.slot.Size) + " bytes) is larger than every flash " +
                            where + " describes (at most " + std::to_string(largest) +
                            " bytes): " + dwl_FlashFileMessage(20));
    }
    return 0;
}

int OperatorSession::failWithResult() {
    return failWith(exitStatusOf(report_.result), report_.result.message);
}

void OperatorSession::logLine(const char* label) {
    const std::string text = stripFrame(label);
    if (log_ != nullptr) log_->line(text);
    printLine(out_, text);
}

void OperatorSession::imageStep(const ImageStepEvent& event) {
    static const char* const names[DWL_NB_IMAGES] = {"binary", "ogm   ", "tfs   "};
    switch (event.Phase) {
    case IMAGE_STEP_BEGIN:
        if (event.Image < DWL_NB_IMAGES)
            meter_.beginImage(names[event.Image], event.Total, runClock());
        break;
    case IMAGE_STEP_BYTES: meter_.update(event.Done, runClock()); break;
    case IMAGE_STEP_END: meter_.finishImage(event.Written != 0, runClock()); break;
    default: meter_.endImage(); break;
    }
    if (stepObserver_) stepObserver_(event);
}

void OperatorSession::observeImageSteps(std::function<void(const ImageStepEvent&)> observer) {
    stepObserver_ = std::move(observer);
}

void OperatorSession::clearForNextRun() {
    // Newest first: a time-out window's OK also closes the turn-on window of its run.
    const std::vector<int> live = uis_LivePanels();
    for (auto panel = live.rbegin(); panel != live.rend(); ++panel) {
        if (*panel == v_Panel) continue;
        const UiPanel* p = uis_Panel(*panel);
        if (p != nullptr && isResultWindow(*p)) {
            uis_OperateCommit(*panel, UTIL_WINDOW_OK);
            uis_DispatchEvents();
        }
    }
    dwl50_4ClearLog();
    markWindowsSeen();
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
    popups_.push_back(Popup{title, text});
}

int OperatorSession::answerFileRequest(std::string& path) {
    if (fileAnswers_.empty()) return VAL_NO_FILE_SELECTED;
    path = fileAnswers_.front();
    fileAnswers_.erase(fileAnswers_.begin());
    return VAL_EXISTING_FILE_SELECTED;
}

void OperatorSession::markWindowsSeen() {
    // Only the windows still there: a station's session shows thousands over a day.
    seenWindows_.clear();
    for (int panel : uis_LivePanels())
        seenWindows_.insert(panel);
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

void OperatorSession::connectLine() {
    const bool emulated = v_LineEmulated != 0;
    // The stand-in handset programs of the data folder serve the emulated handset only.
    v_SpmFromDataFolder = emulated ? 1 : 0;
    if (emulated) {
        if (!simSession_) simSession_ = std::make_unique<sim::SimSession>(settings_.simConfig);
        return;
    }
    simSession_.reset();
#ifdef DWL_CLI_WITH_SERIAL
    dwl_InstallSerialBackend();
#endif
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
    markWindowsSeen();
    fileAnswers_.push_back(path);
    const int rc = uis_OperateCommit(v_Panel, button);
    uis_DispatchEvents();
    fileAnswers_.clear();
    if (rc < 0)
        return failWith(kExitUsage, std::string("the panel does not take a ") + what +
                                        " image in mode " +
                                        std::to_string(sg_DownloadContext.Mode));
    if (takeResultWindow()) return failWithResult();
    return 0;
}

int OperatorSession::restoreConfig() {
    markWindowsSeen();
    const int step = dwl51_106RestoreSettings(settings_.config.c_str());
    uis_DispatchEvents();
    if (step == 0) return failWith(kExitInternal, "the panel refused to restore the settings");
    if (step != DWL_STEP_OK) {
        // The window's message does not say which file it means.
        std::string line = "Cannot restore the settings of " + settings_.config;
        if (step == DWL_CONF_NO_FILE) {
            FILE* file = dwl12_10OpenWholeFile(settings_.config.c_str());
            if (file == nullptr)
                line += std::string(": ") + dwl12_11OpenErrorText(errno);
            else
                fclose(file);
        }
        printLog(line);
    }
    if (takeResultWindow()) return failWithResult();
    return 0;
}

int OperatorSession::prepare(bool withImages) {
    panelUp_ = true;
    if (settings_.port.com > 0 && !settings_.port.device.empty())
        dwl_SetComDevice(settings_.port.com, settings_.port.device);
    uis_Reset();
    dwl50_3ResetRunTime();
    v_WorkFolder = settings_.workdir;
    v_DataFolderSearch = settings_.searchDataFolders ? 1 : 0;
    v_SelectLineHook = nullptr;
    uis_SetLayoutDirectory(settings_.layoutDir.c_str());
    uis_SetView(view_.get());
    uis_SetListObserver([this](int panel, int control, const char* label) {
        if (panel == v_Panel && control == PANEL_OPERATOR_LOG) logLine(label);
    });
    v_ImageStepListener = {[](const ImageStepEvent& event, void* session) {
                               static_cast<OperatorSession*>(session)->imageStep(event);
                           },
                           this};
    if (dwl50_1InitPanels() != 0)
        return failWith(kExitInternal, "cannot load the layout files of " + settings_.layoutDir);
    // flash.txt missing or malformed: the panel goes on with the blocks read before the error,
    // and a flash they describe only in part would be written with a wrong geometry. No run
    // starts.
    if (takeResultWindow())
        return failWith(exitStatusOf(report_.result),
                        report_.result.message + " (in " + settings_.workdir + ")");

    // The handset ring: the emulated handset or the serial cable.
    if (int rc = choose(MAIN_LINE, settings_.sim ? 1 : 0, "handset"); rc != 0) return rc;
    connectLine();

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
        if (int rc = refuseWhatNoFlashTakes(); rc != 0) return rc;
    }
    markWindowsSeen();
    return 0;
}

void OperatorSession::fillReport() {
    const DownloadContext& c = sg_DownloadContext;
    report_.port = dwl_ComPortName(c.ComPort);
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

int OperatorSession::press(int button, const char* what) {
    popups_.clear();
    started_ = runClock();
    const int rc = uis_OperateCommit(v_Panel, button);
    uis_DispatchEvents();
    meter_.endImage();
    report_.elapsedSeconds = runClock() - started_;
    if (rc < 0) return failWith(kExitInternal, std::string("the panel refused the ") + what);
    return 0;
}

int OperatorSession::finishRun() {
    for (const Popup& p : popups_)
        fprintf(stderr, "%s: %s\n", p.title.c_str(), p.text.c_str());
    if (!popups_.empty() && popups_.back().title == kStartRefusalTitle) {
        // The start button refused to run: an image the mode needs is missing.
        report_.result = ReadResult{};
        report_.result.message = popups_.back().text;
        report_.exitStatus = kExitImageMissing;
    } else if (takeResultWindow()) {
        report_.exitStatus = exitStatusOf(report_.result);
    } else {
        report_.result = ReadResult{};
        report_.result.message = "the run ended without a result window";
        report_.exitStatus = kExitUnknownResult;
    }
    fillReport();
    return report_.exitStatus;
}

int OperatorSession::flash() {
    if (int rc = press(MAIN_START, "start button"); rc != 0) return rc;
    return finishRun();
}

int OperatorSession::format() {
    if (int rc = press(MAIN_FORMAT, "format button"); rc != 0) return rc;
    return finishRun();
}

int OperatorSession::bootOnly() {
    if (int rc = press(MAIN_BOOT_START, "boot button"); rc != 0) return rc;
    fillReport();
    report_.result = ReadResult{};
    // A boot that failed shows its window. A port that did not open (the serial services'
    // negative error numbers) is no handset's doing: it ends as a download's does.
    if (takeResultWindow() && report_.result.family == kFamilyPcLibrary &&
        report_.result.code < 0) {
        report_.exitStatus = exitStatusOf(report_.result);
        return report_.exitStatus;
    }
    report_.result = ReadResult{};
    const DownloadContext& c = sg_DownloadContext;
    const int described =
        report_.flashIdentified
            ? dwl10_8CheckSectorSizes(c.FlashManufacturerId, c.FlashDeviceId, nullptr, 0)
            : 0;
    if (described == kCodeFlashNotDescribed) {
        // Identified, but flash.txt has no block with these codes: no run could write it.
        char text[160];
        snprintf(text, sizeof text,
                 "flash.txt does not describe the flash read: manufacturer code %u (0x%02X), "
                 "device code %u (0x%02X)",
                 c.FlashManufacturerId, c.FlashManufacturerId, c.FlashDeviceId, c.FlashDeviceId);
        report_.result.known = true;
        report_.result.family = kFamilyFlashDescription;
        report_.result.hasCode = true;
        report_.result.code = kCodeFlashNotDescribed;
        report_.result.message = text;
        report_.exitStatus = kFamilyFlashDescription;
    } else if (described == DWL_FLASH_BAD_SECTOR_SIZE) {
        // Its block holds a sector size no flash has (the log names the line).
        report_.result.known = true;
        report_.result.family = kFamilyFlashDescription;
        report_.result.hasCode = true;
        report_.result.code = described;
        report_.result.message = dwl_FlashFileMessage(described);
        report_.exitStatus = kFamilyFlashDescription;
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

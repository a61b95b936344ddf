// The start commands: a whole download run inside the callback (boot, the procedure of the
// mode, result window, port closed), the TFS ogm start, the boot-only command and the format
// command.
#include "ui/dwl51mmi.h"

#include "boot/dwl1boot.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3_modes.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "session/local_time.h"
#include "ui/dwl52display.h"
#include "ui/dwl54util.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// An image counts as loaded when its path is set and its bytes are held.
bool imageMissing(const DownloadContext& c, uint8_t image) {
    return strcmp(dwl3_19ImagePath(c, image), "") == 0 ||
           dwl3_18ImageSlot(c, image).Data == nullptr;
}

// What Start says of each image the mode needs and that is missing.
const char* const a_MissingImageTexts[DWL_NB_IMAGES] = {
    "Please load a cla file before start",
    "Please load a ogm file before start",
    "Please load a TFS_ogm file before start",
};

// The images a command needs, in the order binary, ogm, TFS ogm; shows the first one missing.
bool imagesReady(const bool (&needs)[DWL_NB_IMAGES]) {
    for (uint8_t image = 0; image < DWL_NB_IMAGES; ++image) {
        if (needs[image] && imageMissing(sg_DownloadContext, image)) {
            MessagePopup("DOWNLOAD", a_MissingImageTexts[image]);
            return false;
        }
    }
    return true;
}

std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    if (backslash != nullptr && (slash == nullptr || backslash > slash)) slash = backslash;
    return slash != nullptr ? slash + 1 : path;
}

// The first log line of a command: when, on which port and device, at which speed, in which
// mode, and the images its procedure is going to write (none for the boot only and a format).
void logRunStart(const char* command, const uint8_t* procedure) {
    const DownloadContext& c = sg_DownloadContext;
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (dwl_LocalTime(now, &local)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    const long baud = c.SpeedIndex >= 0 && c.SpeedIndex < 9 ? a_PCSpeedValue[c.SpeedIndex] : 0;
    std::string images;
    for (uint8_t image = 0; procedure != nullptr && image < DWL_NB_IMAGES; ++image) {
        const std::string name = baseName(dwl3_19ImagePath(c, image));
        if (name.empty() || !dwl3_17RunWrites(c, *procedure, image)) continue;
        images += images.empty() ? "" : " ";
        images += name;
    }
    const std::string port = dwl_ComPortName(c.ComPort);
    std::string device = v_LineEmulated != 0 ? "emulated handset" : dwl_ComDevicePath(c.ComPort);
    // A port named by its path is named once.
    if (device == port) device.clear();
    dwl50_2AddCommentF("%s %s %s %s%s%ld baud mode %d %s", command, when, port.c_str(),
                       device.c_str(), device.empty() ? "" : " ", baud, c.Mode,
                       images.empty() ? "-" : images.c_str());
}

// The port a successful Boot only left open for whatever comes next (0: none).
int mv_PortLeftOpen = 0;

// A command that boots again: the port left open goes first. The handset still runs the
// bootstrap of that boot and no longer answers as a boot loader until it was switched off.
void closePortLeftOpen() {
    if (mv_PortLeftOpen == 0) return;
    dwl12_1UartStop(static_cast<uint8_t>(mv_PortLeftOpen));
    dwl50_2AddCommentF("%s, left open by Boot only, is closed: switch the handset off and on",
                       dwl_ComPortName(mv_PortLeftOpen).c_str());
    mv_PortLeftOpen = 0;
}

// Shows the turn-on panel and boots the handset; on success shows the flash.
ResultRecord bootHandset() {
    // One turn-on window at a time: one left by an earlier run goes.
    dwl54_12CloseTurnOn();
    closePortLeftOpen();
    v_PanelTurnOn = LoadPanel(0, "mmi.uir", MMI_PANEL_TURN_ON);
    if (v_PanelTurnOn > 0) DisplayPanel(v_PanelTurnOn);
    const ResultRecord boot = dwl1_0boot(&sg_DownloadContext);
    if (boot.family == 0) {
        dwl52_1DisplayTypeFlash(sg_DownloadContext.FlashManufacturerId,
                                sg_DownloadContext.FlashDeviceId);
        // The bootstrap runs on the handset.
        SetCtrlVal(v_Panel, MAIN_LED_2, 1);
        ProcessSystemEvents();
    }
    return boot;
}

// A boot that failed before the bootstrap answered leaves the turn-on panel up. The time-out
// window's button closes it; after any other failure nothing would, so it goes now.
void closeTurnOnPanel(const ResultRecord& boot, int window) {
    if (boot.family == 0) return;
    if (boot.family == 6 && boot.code == 4 && window > 0 && !dwl51_12StopRequested()) {
        dwl54_11KeepTurnOnUntil(window);
        return;
    }
    dwl54_12CloseTurnOn();
}

bool productTypeRuns() {
    return sg_DownloadContext.ProductType == 1 || sg_DownloadContext.ProductType == 2;
}

// Stop works from the start of a command to the end of its last wait on the line.
void offerStop(bool on) {
    SetCtrlAttribute(v_Panel, MAIN_STOP, ATTR_DIMMED, on ? 0 : 1);
}

// The run's result window; a run the operator stopped gets the window that says so.
int showOutcome(const ResultRecord& result, bool download) {
    if (!dwl51_12StopRequested()) {
        // The last light: the images are in.
        if (download && result.family == 0) SetCtrlVal(v_Panel, MAIN_LED_3, 1);
        return dwl52_10DisplayResult(result.family, result.code);
    }
    dwl50_1AddComment("Download cancelled by the operator");
    return dwl52_14DisplayCancelled();
}

// Steps of a run once the images are checked. unlockAtEnd: the ogm and TFS ogm paths of the
// start button release the panel at once; otherwise the result window's button does.
void runDownload(uint8_t procedure, bool unlockAtEnd) {
    const uint8_t port = static_cast<uint8_t>(sg_DownloadContext.ComPort);
    dwl51_13ClearStop();
    dwl52_4InitControls();
    dwl52_15ResetProgress();
    dwl52_5LockDuringDownload();
    ProcessSystemEvents();
    sg_DownloadContext.StartTime = dwl_Time();
    sg_DownloadContext.EndTime = sg_DownloadContext.StartTime;
    mv_RunActive = 1;
    logRunStart("Run", &procedure);

    const ResultRecord boot = bootHandset();
    ResultRecord result = boot;
    if (boot.family == 0 && productTypeRuns() && !dwl51_12StopRequested())
        result = dwl3_3RunProcedure(procedure, sg_DownloadContext);

    mv_RunActive = 0;
    offerStop(false);
    const int window = showOutcome(result, true);
    closeTurnOnPanel(boot, window);
    // A result without a window has no button that could release the panel.
    if (unlockAtEnd || window == 0) dwl52_6UnlockAfterDownload();
    // The stop stands until the next command begins: whoever started the run can still tell.
    dwl12_1UartStop(port);
}

} // namespace

int mv_RunActive = 0;

bool dwl51_9RunActive() {
    return mv_RunActive != 0;
}

int dwl51_50MMIStart(int, int, int event, void*, int, int) {
    // A command in progress keeps its format request: the press is refused whole.
    if (dwl51_5CommandRunning()) return 0;
    v_Format_Flag = 0;
    if (event != EVENT_COMMIT) return 0;
    const DownloadMode* mode = dwl3_14Mode(sg_DownloadContext.Mode);
    if (mode == nullptr || !imagesReady(mode->Needs)) return 0;
    dwl51_6BeginCommand();
    runDownload(mode->Procedure, mode->Procedure != DWL3_PROC_BINARY);
    dwl51_7EndCommand();
    return 0;
}

int dwl51_50MMI_TFS_ogm_Start(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || dwl51_5CommandRunning()) return 0;
    const bool tfsImage[DWL_NB_IMAGES] = {false, false, true};
    if (!imagesReady(tfsImage)) return 0;
    dwl51_6BeginCommand();
    runDownload(DWL3_PROC_TFS_OGM, false);
    dwl51_7EndCommand();
    return 0;
}

int dwl51_50MMI_TFS_Boot_Start(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    dwl51_13ClearStop();
    offerStop(true);
    dwl52_15ResetProgress();
    logRunStart("Boot", nullptr);
    const ResultRecord boot = bootHandset();
    offerStop(false);
    if (boot.family == 0 && !dwl51_12StopRequested()) {
        dwl50_1AddComment("Booting Loader is Completed!!");
        // The port stays open: the bootstrap keeps running for whatever comes next.
        mv_PortLeftOpen = sg_DownloadContext.ComPort;
    } else {
        // A failed boot shows its window as a download's boot does; a stopped one wrote nothing
        // and says so in the log. Neither leaves anything running that the port could serve.
        int window = 0;
        if (dwl51_12StopRequested())
            dwl50_1AddComment("Download cancelled by the operator");
        else
            window = dwl52_10DisplayResult(boot.family, boot.code);
        closeTurnOnPanel(boot, window);
        dwl12_1UartStop(static_cast<uint8_t>(sg_DownloadContext.ComPort));
    }
    dwl51_7EndCommand();
    return 0;
}

int dwl51_65MMIFormat(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    const uint8_t port = static_cast<uint8_t>(sg_DownloadContext.ComPort);
    v_Format_Flag = 1;
    dwl51_13ClearStop();
    offerStop(true);
    dwl52_15ResetProgress();
    logRunStart("Format", nullptr);
    const ResultRecord boot = bootHandset();
    ResultRecord result = boot;
    if (boot.family == 0 && productTypeRuns() && !dwl51_12StopRequested())
        result = dwl3_0Generic5087_TFS_ogm(sg_DownloadContext);
    offerStop(false);
    const int window = showOutcome(result, false);
    closeTurnOnPanel(boot, window);
    dwl12_1UartStop(port);
    dwl51_7EndCommand();
    return 0;
}

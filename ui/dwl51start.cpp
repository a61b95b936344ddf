// The start commands: a whole download run inside the callback (boot, the procedure of the
// mode, result window, port closed), the TFS ogm start, the boot-only command and the format
// command.
#include "ui/dwl51mmi.h"

#include "boot/dwl1boot.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "ui/dwl52display.h"
#include "ui/dwl54util.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

enum RunPath { PATH_NONE, PATH_BINARY, PATH_OGM, PATH_TFS_OGM };

RunPath pathOfMode(int32_t mode) {
    switch (mode) {
    case 0:
    case 1:
    case 5:
    case 6: return PATH_BINARY;
    case 2:
    case 4: return PATH_OGM;
    case 3: return PATH_TFS_OGM;
    default: return PATH_NONE;
    }
}

// An image counts as loaded when its path is set and its bytes are held.
bool imageMissing(const char* path, const ImageSlot& slot) {
    return strcmp(path, "") == 0 || slot.Data == nullptr;
}

bool refuse(const char* text) {
    MessagePopup("DOWNLOAD", text);
    return false;
}

// The images the path needs for the mode; shows the first one missing.
bool imagesReady(RunPath path, int32_t mode) {
    const DownloadContext& c = sg_DownloadContext;
    switch (path) {
    case PATH_BINARY:
        if (imageMissing(c.ClaFile, c.Cla)) return refuse("Please load a cla file before start");
        if (mode == 0 && imageMissing(c.OgmFile, c.Ogm))
            return refuse("Please load a ogm file before start");
        if (mode == 6 && imageMissing(c.TfsOgmFile, c.TfsOgm))
            return refuse("Please load a TFS_ogm file before start");
        return true;
    case PATH_OGM:
        if (imageMissing(c.OgmFile, c.Ogm)) return refuse("Please load a ogm file before start");
        return true;
    case PATH_TFS_OGM:
        if (imageMissing(c.TfsOgmFile, c.TfsOgm))
            return refuse("Please load a TFS_ogm file before start");
        return true;
    default: return false;
    }
}

ResultRecord runProcedure(RunPath path) {
    switch (path) {
    case PATH_OGM: return dwl3_0Generic5087_ogm(sg_DownloadContext);
    case PATH_TFS_OGM: return dwl3_0Generic5087_TFS_ogm(sg_DownloadContext);
    default: return dwl3_0Generic5087(sg_DownloadContext);
    }
}

std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    if (backslash != nullptr && (slash == nullptr || backslash > slash)) slash = backslash;
    return slash != nullptr ? slash + 1 : path;
}

// The first log line of a run: when, on which port and device, at which speed, in which mode,
// with which images.
void logRunStart(const char* command) {
    const DownloadContext& c = sg_DownloadContext;
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    const long baud = c.SpeedIndex >= 0 && c.SpeedIndex < 9 ? a_PCSpeedValue[c.SpeedIndex] : 0;
    std::string images;
    const char* paths[3] = {c.ClaFile, c.OgmFile, c.TfsOgmFile};
    for (const char* path : paths) {
        if (path[0] == '\0') continue;
        images += images.empty() ? "" : " ";
        images += baseName(path);
    }
    const std::string device =
        v_LineEmulated != 0 ? "emulated handset" : dwl_ComDevicePath(c.ComPort);
    dwl50_2AddCommentF("%s %s COM%d %s %ld baud mode %d %s", command, when, c.ComPort,
                       device.c_str(), baud, c.Mode, images.empty() ? "-" : images.c_str());
}

// The port a successful Boot only left open for whatever comes next (0: none).
int mv_PortLeftOpen = 0;

// A command that boots again: the port left open goes first. The handset still runs the
// bootstrap of that boot and no longer answers as a boot loader until it was switched off.
void closePortLeftOpen() {
    if (mv_PortLeftOpen == 0) return;
    dwl12_1UartStop(static_cast<uint8_t>(mv_PortLeftOpen));
    dwl50_2AddCommentF("COM%d, left open by Boot only, is closed: switch the handset off and on",
                       mv_PortLeftOpen);
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
void runDownload(RunPath path, bool unlockAtEnd) {
    const uint8_t port = static_cast<uint8_t>(sg_DownloadContext.ComPort);
    dwl51_13ClearStop();
    dwl52_4InitControls();
    dwl52_15ResetProgress();
    dwl52_5LockDuringDownload();
    ProcessSystemEvents();
    sg_DownloadContext.StartTime = dwl_Time();
    sg_DownloadContext.EndTime = sg_DownloadContext.StartTime;
    mv_RunActive = 1;
    logRunStart("Run");

    const ResultRecord boot = bootHandset();
    ResultRecord result = boot;
    if (boot.family == 0 && productTypeRuns() && !dwl51_12StopRequested())
        result = runProcedure(path);

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
    const int32_t mode = sg_DownloadContext.Mode;
    const RunPath path = pathOfMode(mode);
    if (path == PATH_NONE || !imagesReady(path, mode)) return 0;
    dwl51_6BeginCommand();
    runDownload(path, path != PATH_BINARY);
    dwl51_7EndCommand();
    return 0;
}

int dwl51_50MMI_TFS_ogm_Start(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || dwl51_5CommandRunning()) return 0;
    if (!imagesReady(PATH_TFS_OGM, sg_DownloadContext.Mode)) return 0;
    dwl51_6BeginCommand();
    runDownload(PATH_TFS_OGM, false);
    dwl51_7EndCommand();
    return 0;
}

int dwl51_50MMI_TFS_Boot_Start(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    dwl51_13ClearStop();
    offerStop(true);
    logRunStart("Boot");
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
    logRunStart("Format");
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

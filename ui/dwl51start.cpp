// The start commands: a whole download run inside the callback (boot, the procedure of the
// mode, result window, port closed), the TFS ogm start, the boot-only command and the format
// command.
#include "ui/dwl51mmi.h"

#include "boot/dwl1boot.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "session/dwl_context.h"
#include "session/dwl_oplog.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"

#include <cstring>

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

// Shows the turn-on panel and boots the handset; on success shows the flash.
ResultRecord bootHandset() {
    v_PanelTurnOn = LoadPanel(0, "mmi.uir", MMI_PANEL_TURN_ON);
    if (v_PanelTurnOn > 0) DisplayPanel(v_PanelTurnOn);
    const ResultRecord boot = dwl1_0boot(&sg_DownloadContext);
    if (boot.family == 0) {
        dwl52_1DisplayTypeFlash(sg_DownloadContext.FlashManufacturerId,
                                sg_DownloadContext.FlashDeviceId);
        ProcessSystemEvents();
    }
    return boot;
}

// A boot that failed before the bootstrap answered leaves the turn-on panel up. The time-out
// window's button closes it; after any other failure nothing would, so it goes now.
void closeTurnOnPanel(const ResultRecord& boot, bool timeoutWindowShown) {
    if (boot.family == 0) return;
    if (boot.family == 6 && boot.code == 4 && timeoutWindowShown) return;
    if (v_PanelTurnOn > 0) DiscardPanel(v_PanelTurnOn); // no longer there: nothing happens
    v_PanelTurnOn = 0;
}

bool productTypeRuns() {
    return sg_DownloadContext.ProductType == 1 || sg_DownloadContext.ProductType == 2;
}

// Steps of a run once the images are checked. unlockAtEnd: the ogm and TFS ogm paths of the
// start button release the panel at once; otherwise the result window's button does.
void runDownload(RunPath path, bool unlockAtEnd) {
    const uint8_t port = static_cast<uint8_t>(sg_DownloadContext.ComPort);
    dwl52_4InitControls();
    dwl52_5LockDuringDownload();
    ProcessSystemEvents();
    sg_DownloadContext.StartTime = dwl_Time();
    sg_DownloadContext.EndTime = sg_DownloadContext.StartTime;

    const ResultRecord boot = bootHandset();
    ResultRecord result = boot;
    if (boot.family == 0 && productTypeRuns()) result = runProcedure(path);

    const int window = dwl52_10DisplayResult(result.family, result.code);
    closeTurnOnPanel(boot, window > 0);
    // A result without a window has no button that could release the panel.
    if (unlockAtEnd || window == 0) dwl52_6UnlockAfterDownload();
    dwl12_1UartStop(port);
}

} // namespace

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
    const ResultRecord boot = bootHandset();
    closeTurnOnPanel(boot, false);
    dwl50_1AddComment("Booting Loader is Completed!!");
    // The port stays open: the bootstrap keeps running for whatever comes next.
    dwl51_7EndCommand();
    return 0;
}

int dwl51_65MMIFormat(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || !dwl51_6BeginCommand()) return 0;
    const uint8_t port = static_cast<uint8_t>(sg_DownloadContext.ComPort);
    v_Format_Flag = 1;
    const ResultRecord boot = bootHandset();
    ResultRecord result = boot;
    if (boot.family == 0 && productTypeRuns())
        result = dwl3_0Generic5087_TFS_ogm(sg_DownloadContext);
    const int window = dwl52_10DisplayResult(result.family, result.code);
    closeTurnOnPanel(boot, window > 0);
    dwl12_1UartStop(port);
    dwl51_7EndCommand();
    return 0;
}

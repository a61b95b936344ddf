// Buttons of the result and error windows.
#include "ui/dwl54util.h"

#include "boot/dwl1boot.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

namespace {

// The time-out window whose button closes the turn-on window now up (0: none does).
int mv_TurnOnOwner = 0;

} // namespace

void dwl54_11KeepTurnOnUntil(int timeoutWindow) {
    mv_TurnOnOwner = timeoutWindow;
}

void dwl54_12CloseTurnOn() {
    if (v_PanelTurnOn > 0) DiscardPanel(v_PanelTurnOn); // no longer there: nothing happens
    v_PanelTurnOn = 0;
    mv_TurnOnOwner = 0;
}

bool dwl54_10CloseResultWindow(int windowPanel) {
    // The button closes its own window, so that an older window of the same kind can still be
    // closed after a newer one was shown.
    DiscardPanel(windowPanel);
    // A window left over from an earlier run must not release the panel of the run in progress.
    if (dwl51_5CommandRunning()) return false;
    dwl52_4InitControls();
    dwl52_6UnlockAfterDownload();
    return true;
}

int dwl51_80MMIDownloadSuccessOk(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (dwl54_10CloseResultWindow(panel))
        SetCtrlAttribute(v_Panel, PANEL_ELAPSED_TIME, ATTR_LABEL_TEXT, " ");
    return 0;
}

int dwl51_81MMIButtonTimeOut(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // Only the turn-on window of this window's own run: a later run shows its own.
    if (panel == mv_TurnOnOwner || (mv_TurnOnOwner == 0 && !dwl51_5CommandRunning()))
        dwl54_12CloseTurnOn();
    dwl54_10CloseResultWindow(panel);
    return 0;
}

namespace {

int closeOnCommit(int panel, int event) {
    if (event == EVENT_COMMIT) dwl54_10CloseResultWindow(panel);
    return 0;
}

} // namespace

int dwl54_0GenericErrWindowsButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_1FlashFileErrButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_2ConfFileErrButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_3PcLibrairiesErrButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_4BootErrorWindowsButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_6CommandErrWindowButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}
int dwl54_9TFSFileErrButton(int panel, int, int event, void*, int, int) {
    return closeOnCommit(panel, event);
}

// Start-up and main loop of the program.
#include "startup/dwl50dev.h"

#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <cstdio>

int (*v_InitRunTimeHook)(int argc, char** argv) = nullptr;

int dwl50_1InitPanels() {
    dwl51_1InstallCallbacks();
    v_Panel = LoadPanel(0, "mmi.uir", MMI_PANEL_MAIN);
    if (v_Panel <= 0) {
        // Without its main panel the program could not be seen nor closed.
        fprintf(stderr, "dwl: cannot load the main panel of mmi.uir: %s\n",
                uis_LastError().c_str());
        v_Panel = 0;
        return -1;
    }
    DisplayPanel(v_Panel);
    v_MenuBarHandle = LoadMenuBar(v_Panel, "mmi.uir", MMI_MENUBAR);
    if (v_MenuBarHandle < 0) v_MenuBarHandle = 0;
    dwl51_2InitMainPanel();
    const int step = dwl10_100InitFlashDescription();
    if (step != 1) dwl52_11DisplayFlashFileErr(step);
    return 0;
}

void dwl50_2EndProgram() {
    dwl51_3FreeImages();
    dwl10_203FreeTFSDescription();
    if (v_Panel > 0) DiscardPanel(v_Panel);
    v_Panel = 0;
    v_MenuBarHandle = 0;
}

int dwl50_0Main(int argc, char** argv) {
    if (v_InitRunTimeHook != nullptr && v_InitRunTimeHook(argc, argv) == 0) return -1;
    if (dwl50_1InitPanels() != 0) return -1;
    RunUserInterface();
    dwl50_2EndProgram();
    return 0;
}

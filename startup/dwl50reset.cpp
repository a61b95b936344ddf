#include "startup/dwl50reset.h"

#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"
#include "link/dwl12datafiles.h"
#include "link/line_trace.h"
#include "link/rs232_cancel.h"
#include "procedure/dwl3_run.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "uis/dwl_oplog.h"

#include <cstring>

void dwl50_3ResetRunTime() {
    // session
    sg_DownloadContext = dwl_DefaultContext();
    mv_ResultDownload = ResultRecord{13, 0};
    // link
    v_WorkFolder.clear();
    v_DataFolderSearch = 0;
    v_SpmFromDataFolder = 0;
    rs232_ClearCancel();
    dwl12_TraceRunStart();
    // flash
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    dwl10_203FreeTFSDescription();
    dwl10_80ResetSectorMap();
    // boot, command, procedure
    v_PanelTurnOn = 0;
    mv_SoftPourcent = 0;
    v_Format_Flag = 0;
    v_PanelFormat = 0;
    // ui
    v_LineEmulated = 0;
    mv_RunActive = 0;
    dwl51_7EndCommand();
    dwl51_16ForgetHeldPaths();
    mv_LastShownResult = ShownResult{0, 0, 0};
    for (int* window : {&v_PanelSuccessful, &v_PanelTimeout, &v_PanelGenericErr, &v_PanelLibPCErr,
                        &v_PanelBootErr, &v_PanelCommandErr, &v_PanelFlashFileErr,
                        &v_PanelConfFileErr, &v_PanelTFSFileErr})
        *window = 0;
    // uis: the operator log's line count (the main panel's handles stay with start-up)
    mv_NbCommentLine = 0;
    ma_Comment[0] = '\0';
}

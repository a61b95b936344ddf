#include "link/dwl12reset.h"

#include "link/dwl12datafiles.h"
#include "link/line_trace.h"
#include "link/rs232_cancel.h"

void dwl12_ResetRunTime() {
    v_WorkFolder.clear();
    v_DataFolderSearch = 0;
    v_SpmFromDataFolder = 0;
    rs232_ClearCancel();
    dwl12_TraceRunStart();
}

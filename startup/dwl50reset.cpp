#include "startup/dwl50reset.h"

#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10reset.h"
#include "link/dwl12reset.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "uis/dwl_oplog.h"

void dwl50_3ResetRunTime() {
    // Each folder resets what it owns, bottom of the stack first. Of the user-interface
    // services only the operator log's line count: the main panel's handles stay with start-up.
    dwl_ResetSession();
    dwl12_ResetRunTime();
    dwl10_ResetRunTime();
    dwl1_ResetRunTime();
    dwl11_ResetRunTime();
    dwl3_ResetRunTime();
    dwl51_ResetRunTime();
    dwl_ResetOperatorLog();
}

// Handles of the main panel and of its menu bar, set at start-up.
#include "uis/dwl_oplog.h"

int v_Panel = 0;
int v_MenuBarHandle = 0;

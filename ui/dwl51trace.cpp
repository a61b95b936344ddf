// The Service menu's line trace: every run from now on is traced into the file the operator
// chose, until the item is chosen again.
#include "ui/dwl51mmi.h"

#include "link/line_trace.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kPathSize = 260;
} // namespace

void dwl51_151MMIMenuLineTrace(int, int, void*, int) {
    if (dwl51_5CommandRunning()) return;
    if (dwl12_TraceActive()) {
        dwl12_TraceStop();
        dwl50_1AddComment("Line trace off");
        return;
    }
    char path[kPathSize] = "";
    const int status = FileSelectPopup("", "*.trace", "*.trace;*.txt", "Line trace", "Save", 0, 0,
                                       1, 1, path, sizeof path);
    if (status <= 0) return;
    if (dwl12_TraceStart(path, true, false) != 0) {
        char text[kPathSize + 64];
        std::snprintf(text, sizeof text, "Cannot write %s: %s", path, std::strerror(errno));
        MessagePopup("Line trace", text);
        return;
    }
    dwl50_3AddCommentPath("Line trace on, the following runs go to ", path, "");
}

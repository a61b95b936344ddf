// The operator log: one line per step in list box 23 of the main panel.
#include "session/dwl_oplog.h"

#include "session/uis.h"

#include <cstdarg>
#include <cstdio>

char ma_Comment[100];
int mv_NbCommentLine = 0;

void dwl50_1AddComment(const char* text) {
    // Longer texts are cut to the buffer; the line always ends with its NUL.
    snprintf(ma_Comment, sizeof ma_Comment, " %s ", text != nullptr ? text : "");
    InsertListItem(v_Panel, PANEL_OPERATOR_LOG, mv_NbCommentLine, ma_Comment, 0);
    mv_NbCommentLine++;
    SetCtrlIndex(v_Panel, PANEL_OPERATOR_LOG, mv_NbCommentLine - 1);
}

void dwl50_2AddCommentF(const char* format, ...) {
    char text[sizeof ma_Comment];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    dwl50_1AddComment(text);
}

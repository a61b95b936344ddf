// The operator log: one line per step in list box 23 of the main panel.
#include "uis/dwl_oplog.h"

#include "uis/uis.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

char ma_Comment[100];
int mv_NbCommentLine = 0;

void dwl50_1AddComment(const char* text) {
    // " text ", cut to the buffer as snprintf would cut it; the line always ends with its NUL.
    // (Copied by hand: a formatted copy of a text as long as the buffer draws a truncation
    // warning once the compiler inlines this into dwl50_2AddCommentF.)
    const size_t room = sizeof ma_Comment - 1;
    size_t n = 0;
    ma_Comment[n++] = ' ';
    for (const char* p = text != nullptr ? text : ""; *p != '\0' && n < room; p++)
        ma_Comment[n++] = *p;
    if (n < room) ma_Comment[n++] = ' ';
    ma_Comment[n] = '\0';
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

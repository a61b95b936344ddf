// The operator log: one line per step in list box 23 of the main panel.
#include "uis/dwl_oplog.h"

#include "uis/uis.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

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

void dwl50_5AddCommentV(const char* format, va_list args) {
    char text[sizeof ma_Comment];
    vsnprintf(text, sizeof text, format, args);
    dwl50_1AddComment(text);
}

void dwl50_2AddCommentF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    dwl50_5AddCommentV(format, args);
    va_end(args);
}

void dwl50_3AddCommentPath(const char* before, const char* path, const char* after) {
    before = before != nullptr ? before : "";
    path = path != nullptr ? path : "";
    after = after != nullptr ? after : "";
    static const char kCut[] = "...";
    // The text of a line: the buffer less its two framing blanks and the NUL.
    const size_t fit = sizeof ma_Comment - 3;
    const size_t around = strlen(before) + strlen(after);
    const size_t length = strlen(path);
    const char* cut = "";
    // Only a path that leaves room for more than the cut mark is shortened.
    if (around + length > fit && around + sizeof kCut < fit) {
        path += length - (fit - around - (sizeof kCut - 1));
        cut = kCut;
    }
    char text[sizeof ma_Comment];
    snprintf(text, sizeof text, "%s%s%s%s", before, cut, path, after);
    dwl50_1AddComment(text);
}

void dwl50_4ClearLog() {
    ClearListCtrl(v_Panel, PANEL_OPERATOR_LOG);
    mv_NbCommentLine = 0;
}

void dwl_ResetOperatorLog() {
    mv_NbCommentLine = 0;
    ma_Comment[0] = '\0';
}

// The operator log: list box 23 of the main panel, one line per step.
#pragma once

#include <cstdarg>

// Buffer of the line being appended and the number of lines so far.
extern char ma_Comment[100];
extern int mv_NbCommentLine;

// Handle of the main panel (panel 3 of mmi.uir) and of its menu bar.
extern int v_Panel;
extern int v_MenuBarHandle;

// Main-panel controls the protocol code writes to.
constexpr int PANEL_PROGRESS_BAR = 20;  // progress, percent
constexpr int PANEL_PROGRESS_TEXT = 21; // progress, percent
constexpr int PANEL_ELAPSED_TIME = 22;  // elapsed-time label
constexpr int PANEL_OPERATOR_LOG = 23;  // the operator log list box

// Appends " text " to the operator log and makes it the visible line.
void dwl50_1AddComment(const char* text);
// printf-style variant.
void dwl50_2AddCommentF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with the arguments taken already.
void dwl50_5AddCommentV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
// Appends before + path + after; a path too long for the line loses its beginning ("...")
// rather than its end, so that the line still names the file.
void dwl50_3AddCommentPath(const char* before, const char* path, const char* after);
// Empties the operator log; the next line is its first.
void dwl50_4ClearLog();

// The operator log's run-time state back to a program's start: no line counted, no comment.
void dwl_ResetOperatorLog();

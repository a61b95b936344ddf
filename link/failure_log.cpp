#include "link/failure_log.h"

#include "link/rs232_cancel.h"
#include "uis/dwl_oplog.h"

#include <cstdarg>
#include <cstdio>

void dwl12_LogFailure(const char* text) {
    if (!rs232_Cancelled()) dwl50_1AddComment(text);
}

void dwl12_LogFailureF(const char* format, ...) {
    if (rs232_Cancelled()) return;
    va_list args;
    va_start(args, format);
    dwl50_5AddCommentV(format, args);
    va_end(args);
}

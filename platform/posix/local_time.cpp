#include "session/local_time.h"

#include <time.h>

bool dwl_LocalTime(std::time_t when, std::tm* out) {
    return localtime_r(&when, out) != nullptr;
}

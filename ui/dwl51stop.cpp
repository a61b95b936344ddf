// Stop: the operator ends the command in progress at its next wait on the serial line.
#include "ui/dwl51mmi.h"

#include <atomic>

namespace {
std::atomic<int> mv_StopRequested{0};
} // namespace

void dwl51_11RequestStop() {
    mv_StopRequested.store(1);
}

bool dwl51_12StopRequested() {
    return mv_StopRequested.load() != 0;
}

void dwl51_13ClearStop() {
    mv_StopRequested.store(0);
}

// The operator's cancel ends the waits on the line at once, and clearing it lets the next run
// work as before.
#include "boot/dwl1boot.h"
#include "link/rs232_cancel.h"
#include "link/serial_device.h"
#include "sim/handset.h"
#include "tests/support/handset_programs.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include "platform/windows/system/cancel_event.h"
#else
#include "platform/posix/cancel_pipe.h"
#include <poll.h>
#endif

namespace {

// Whether the system's object that wakes the sleeping waits is signalled now.
bool wakeUpSignalled() {
#if defined(_WIN32)
    return WaitForSingleObject(dwlwin::cancelEvent(), 0) == WAIT_OBJECT_0;
#else
    pollfd p{rs232_CancelFd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
#endif
}

sim::SimSession* current = nullptr;
double cancelAfter = 0;

// Plays the operator: presses Stop once the wait has gone on for cancelAfter seconds.
void pressStopLate() {
    if (current && current->clock().elapsed() > cancelAfter) rs232_Cancel();
}

TEST(OperatorCancel, EndsTheEndlessWakeUpWaitAndClears) {
    bootsupport::HandsetPrograms files;
    ASSERT_TRUE(files.ok());
    files.writeBootstrap(4000);
    DownloadContext ctx = dwl_DefaultContext();

    // A handset whose boot loader stays silent: the wake-up read would wait its whole 5 s.
    sim::HandsetConfig off = sim::DefaultConfig();
    off.faults.silentFrom = sim::Step::WakeUp;
    {
        sim::SimSession session(off);
        current = &session;
        cancelAfter = 1.0;
        rs232_SetWaitHook(&pressStopLate);
        ResultRecord r = dwl1_0boot(&ctx);
        rs232_SetWaitHook(nullptr);
        current = nullptr;
        EXPECT_EQ(r.family, 6);
        EXPECT_EQ(r.code, 4) << "the time-out window of the wake-up";
        EXPECT_LT(session.clock().elapsed(), 1.1);
        EXPECT_TRUE(rs232_Cancelled());
    }

    // The wake-up object is signalled while the cancel is set, and not after.
    EXPECT_TRUE(wakeUpSignalled());
    rs232_ClearCancel();
    EXPECT_FALSE(rs232_Cancelled());
    EXPECT_FALSE(wakeUpSignalled());

    sim::SimSession session(sim::DefaultConfig());
    ResultRecord r = dwl1_0boot(&ctx);
    EXPECT_EQ(r.family, 0) << r.code;
}

} // namespace

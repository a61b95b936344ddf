// Virtual time and wire pacing.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"
#include "session/dwl_clock.h"

#include <chrono>

using namespace simtest;

namespace {

class Timing : public SimTest {};

TEST_F(Timing, TimeOutsCostNoRealTime) {
    start(runningConfig());
    SetComTime(kPort, 10.0);
    EXPECT_EQ(dwl_GetClock(), &clock());
    auto real = std::chrono::steady_clock::now();
    double t0 = dwl_Now();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_DOUBLE_EQ(dwl_Now() - t0, 1000.0);
    EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(1));
}

TEST_F(Timing, PollingTheQueuesLetsTimePass) {
    start(runningConfig());
    double t0 = dwl_Now();
    int polls = 0;
    while (dwl_Now() - t0 <= 10.0 && GetInQLen(kPort) == 0)
        ++polls;
    EXPECT_GT(polls, 1000);
    EXPECT_LT(polls, 100000);
}

TEST_F(Timing, SessionRestoresTheClock) {
    ClockSource* before = dwl_GetClock();
    {
        sim::SimSession session(runningConfig());
        EXPECT_NE(dwl_GetClock(), before);
    }
    EXPECT_EQ(dwl_GetClock(), before);
    EXPECT_LT(OpenComConfig(kPort, "COM1", 38400, 2, 8, 1, 65536, 65536), 0);
}

TEST_F(Timing, PacedBytesTakeTheirWireTime) {
    sim::HandsetConfig config = runningConfig();
    config.wirePacing = true;
    start(config);
    double t0 = clock().elapsed();
    send({0xE9});
    EXPECT_EQ(GetOutQLen(kPort), 1);
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
    // One byte each way at 11 bits per byte.
    EXPECT_NEAR(clock().elapsed() - t0, 2 * 11.0 / 38400, 1e-12);

    std::vector<uint8_t> data = Pattern(8192, 4);
    std::vector<uint8_t> cmd{0xEA, 0, 0, 0x20, 0, 0x02, 0, 0, 0, 0, 0, 0x20, 0};
    t0 = clock().elapsed();
    send(cmd);
    send(data);
    EXPECT_GT(GetOutQLen(kPort), 8000);
    while (GetOutQLen(kPort) > 0) {
    }
    double drained = clock().elapsed() - t0;
    EXPECT_NEAR(drained, (13 + 8192) * 11.0 / 38400, 1e-9);
    EXPECT_EQ(ComRdByte(kPort), 0xCC);
}

TEST_F(Timing, UnpacedBytesTravelInstantly) {
    start(runningConfig());
    double t0 = clock().now();
    send({0xEB});
    EXPECT_EQ(GetOutQLen(kPort), 0);
    EXPECT_EQ(read(2), Ints({0xC0, 0xC9}));
    EXPECT_EQ(clock().now(), t0);
}

} // namespace

// GPIO, speed change, PMU, extension module and switch-off against the emulated bootstrap.
#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "sim/handset.h"
#include "tests/support/handset_programs.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Bytes = std::vector<uint8_t>;

class EmulatedSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(files.ok());
        module = files.writeExtension(3000);
        config.startInBootstrap = true;
    }
    void start(const sim::HandsetConfig& cfg) {
        session.reset(); // the old session puts its predecessor back when it goes
        session = std::make_unique<sim::SimSession>(cfg);
        ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1);
        t0 = session->clock().now();
    }
    double elapsed() { return session->clock().now() - t0; }
    const sim::Recording& rec() { return session->handset().recording(); }
    int count(uint8_t command) {
        const Bytes& c = rec().commands;
        return static_cast<int>(std::count(c.begin(), c.end(), command));
    }

    bootsupport::HandsetPrograms files;
    Bytes module;
    sim::HandsetConfig config = sim::DefaultConfig();
    DownloadContext ctx = dwl_DefaultContext();
    std::unique_ptr<sim::SimSession> session;
    double t0 = 0;
};

TEST_F(EmulatedSetup, EveryIndexBringsTheHandsetToItsRate) {
    for (int index = 0; index < 9; ++index) {
        start(config);
        EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, index), 1) << index;
        EXPECT_EQ(rec().currentBaud, a_PCSpeedValue[index]) << index;
        EXPECT_EQ(rec().currentParity, 0);
        EXPECT_EQ(rec().garbledBytes, 0u) << index;
    }
}

TEST_F(EmulatedSetup, DefaultRunSendsGpioThenChangesTo460800AndSendsTheModule) {
    config.wirePacing = true;
    start(config);

    EXPECT_EQ(dwl11_8SetGPIO(ctx), 1);
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);

    EXPECT_EQ(rec().commands, (Bytes{0xEB, 0xE0, 0xE9, 0xEE}));
    EXPECT_EQ(rec().currentBaud, 460800);
    EXPECT_GT(rec().bytesPerBaud.at(38400), 0u) << "GPIO and the speed frame at the boot rate";
    EXPECT_EQ(rec().bytesPerBaud.at(460800), 1u + 1u + module.size());
    EXPECT_EQ(rec().extensionModule, module);
    EXPECT_EQ(rec().garbledBytes, 0u);
}

TEST_F(EmulatedSetup, SlowRatesSendNoGpio) {
    for (int index = 0; index < 3; ++index) {
        start(config);
        ctx.SpeedIndex = index;
        EXPECT_EQ(dwl11_8SetGPIO(ctx), 1);
        EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
        EXPECT_EQ(count(0xEB), 0) << index;
        EXPECT_EQ(rec().currentBaud, a_PCSpeedValue[index]);
    }
}

TEST_F(EmulatedSetup, OddRate220338) {
    ctx.SpeedIndex = 4;
    start(config);
    EXPECT_EQ(dwl11_8SetGPIO(ctx), 1);
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(rec().currentBaud, 220338);
    EXPECT_EQ(rec().extensionModule, module);
}

TEST_F(EmulatedSetup, PmuOnlyWhenAsked) {
    start(config);
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(count(0xEF), 0);

    ctx.Pmu = 1;
    start(config);
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(rec().commands, (Bytes{0xE0, 0xE9, 0xEF, 0xEE}));
}

TEST_F(EmulatedSetup, PmuFailureEndsTheSetupBeforeTheModule) {
    ctx.Pmu = 1;
    config.faults.silentFrom = sim::Step::Pmu;
    start(config);
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 2);
    EXPECT_EQ(count(0xEF), 3);
    EXPECT_EQ(count(0xEE), 0);
    EXPECT_NEAR(elapsed(), 30.0, 0.5) << "three tries, each waiting the fast link's time-out";
}

TEST_F(EmulatedSetup, WrongAnswersGiveTheirCodes) {
    struct Case {
        sim::Step step;
        int index;
        int code;
        const char* log; // the line the failure leaves in the operator log
    } cases[] = {
        {sim::Step::SpeedAccept, 0, 2, " COMMAND : speed change refused "},
        {sim::Step::SpeedAck, 0, 7, " COMMAND : speed frame not acknowledged "},
        {sim::Step::SpeedAck, 1, 8, " COMMAND : speed frame checksum refused "},
    };
    for (const Case& c : cases) {
        sim::HandsetConfig cfg = config;
        cfg.faults.wrongReplyAt = c.step;
        cfg.faults.wrongByteIndex = c.index;
        cfg.faults.wrongByte = 0x5A;
        start(cfg);
        EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), c.code) << sim::StepName(c.step);
        EXPECT_STREQ(ma_Comment, c.log);
    }
    sim::HandsetConfig cfg = config;
    cfg.faults.wrongReplyAt = sim::Step::Gpio;
    cfg.faults.wrongByteIndex = 1;
    cfg.faults.wrongByte = 0x5A;
    start(cfg);
    EXPECT_EQ(dwl11_8SetGPIO(ctx), 21);
    EXPECT_STREQ(ma_Comment, " COMMAND : GPIO not set ");

    cfg = config;
    cfg.faults.wrongReplyAt = sim::Step::Pmu;
    cfg.faults.wrongByteIndex = 1;
    cfg.faults.wrongByte = 0x5A;
    start(cfg);
    EXPECT_EQ(dwl11_52SetPMU(4), 10);
    EXPECT_STREQ(ma_Comment, " COMMAND : PMU not set ");
    cfg.faults.wrongByteIndex = 0;
    start(cfg);
    EXPECT_EQ(dwl11_52SetPMU(4), 2);
    EXPECT_STREQ(ma_Comment, " COMMAND : PMU command refused ");
}

TEST_F(EmulatedSetup, SilentSpeedControlIsTriedFourTimesAtTheNewTimeOut) {
    config.faults.silentFrom = sim::Step::SpeedControl;
    start(config);
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 9);
    EXPECT_EQ(count(0xE9), 4);
    EXPECT_NEAR(elapsed(), 40.0, 0.5);
}

TEST_F(EmulatedSetup, SpeedControlSucceedsOnALaterTry) {
    config.faults.wrongReplyAt = sim::Step::SpeedControl;
    config.faults.wrongByte = 0xCB;
    start(config);
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 1);
    EXPECT_EQ(count(0xE9), 2);
}

TEST_F(EmulatedSetup, SwitchOff) {
    start(config);
    EXPECT_EQ(dwl11_7SwitchOffCommand(4), 1);
    EXPECT_TRUE(rec().switchedOff);

    config.faults.silentFrom = sim::Step::SwitchOff;
    start(config);
    EXPECT_EQ(dwl11_7SwitchOffCommand(4), 20);
}

} // namespace

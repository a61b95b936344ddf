// The link set-up (speed, PMU, extension module), GPIO and switch-off.
#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "tests/command/scripted_bootstrap.h"
#include "tests/support/handset_programs.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

namespace {

using commandsupport::Bytes;

class LinkSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(files.ok());
        module = files.writeExtension(3000);
        bootstrap.answers.extensionSize = module.size();
        ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1);
    }
    double elapsed() { return line.now() - start; }
    bootsupport::HandsetPrograms files;
    Bytes module;
    testsupport::ScriptedLine line;
    commandsupport::ScriptedBootstrap bootstrap{line};
    DownloadContext ctx = dwl_DefaultContext();
    double start = line.now();
};

TEST_F(LinkSetup, WithoutPmuTheModuleFollowsTheSpeedChange) {
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(bootstrap.count(0xEF), 0);
    EXPECT_EQ(bootstrap.count(0xEE), 1);
    Bytes tail(line.written().end() - module.size(), line.written().end());
    EXPECT_EQ(tail, module);
}

TEST_F(LinkSetup, WithPmuTheAnswerIsCheckedAndTheModuleFollows) {
    ctx.Pmu = 1;
    bootstrap.answers.pmu = {0xC0, 0xCF, 0x5E};
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(bootstrap.count(0xEF), 1);
    EXPECT_EQ(bootstrap.count(0xEE), 1);
}

TEST_F(LinkSetup, PmuIsTriedThreeTimes) {
    ctx.Pmu = 1;
    bootstrap.answers.pmu = {0xC0, 0xCE, 0x00};
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 10);
    EXPECT_EQ(bootstrap.count(0xEF), 3);
    EXPECT_EQ(bootstrap.count(0xEE), 0);

    bootstrap.answers.pmu = {};
    EXPECT_EQ(dwl11_52SetPMU(4), 2);
}

TEST_F(LinkSetup, MissingFrameAcknowledgeIsTriedFourTimes) {
    bootstrap.answers.speedAck = {};
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 7);
    EXPECT_EQ(bootstrap.count(0xE0), 4);
    EXPECT_DOUBLE_EQ(elapsed(), 20.0) << "each attempt waits the boot time-out for 0xC3";
    EXPECT_EQ(line.settings().size(), 1u);
}

TEST_F(LinkSetup, RetryAfterAFailedSpeedControlStaysAtTheNewSpeed) {
    bootstrap.answers.speedControlFirstAnswered = 5; // the first attempt's four tries fail
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(bootstrap.count(0xE0), 2);
    ASSERT_EQ(line.settings().size(), 3u);
    EXPECT_EQ(line.settings()[1].baud, 460800);
    EXPECT_EQ(line.settings()[2].baud, 460800);
}

TEST_F(LinkSetup, ModuleFailureIsTheSetupResult) {
    bootstrap.answers.extensionAccept = {0xC1};
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 0xC1);
    files.remove("dwl88.spm");
    bootstrap.answers.extensionAccept = {0xC0, 0, 0, 0, 0};
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(ctx), 3);
}

TEST_F(LinkSetup, GpioOnlyForTheFastAndTheOddRates) {
    for (int index = 0; index < 9; ++index) {
        ctx.SpeedIndex = index;
        EXPECT_EQ(dwl11_8SetGPIO(ctx), 1) << index;
    }
    EXPECT_EQ(bootstrap.count(0xEB), 6) << "indexes 3 to 8 send it, 0 to 2 do not";
}

TEST_F(LinkSetup, GpioAnswers) {
    ctx.SpeedIndex = 3;
    bootstrap.answers.gpio = {0xC0, 0xC8};
    EXPECT_EQ(dwl11_8SetGPIO(ctx), 21);
    EXPECT_STREQ(ma_Comment, " COMMAND : GPIO not set ");
    bootstrap.answers.gpio = {0xC1, 0xC9};
    EXPECT_EQ(dwl11_8SetGPIO(ctx), 2);
    EXPECT_STREQ(ma_Comment, " COMMAND : GPIO command refused ");
    bootstrap.answers.gpio = {};
    EXPECT_EQ(dwl11_53SetGPIO(4), 2);
}

TEST_F(LinkSetup, SwitchOff) {
    EXPECT_EQ(dwl11_7SwitchOffCommand(4), 1);
    bootstrap.answers.switchOff = {0xC1};
    EXPECT_EQ(dwl11_7SwitchOffCommand(4), 20);
    EXPECT_STREQ(ma_Comment, " COMMAND : switch-off refused ");
    bootstrap.answers.switchOff = {};
    EXPECT_EQ(dwl11_7SwitchOffCommand(4), 20);
    EXPECT_EQ(bootstrap.count(0xE8), 3);
}

} // namespace

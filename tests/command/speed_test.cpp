// Speed change, its frame and the speed control, against a scripted bootstrap.
#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "tests/command/scripted_bootstrap.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

namespace {

using commandsupport::Bytes;

class SpeedChange : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1); }
    double elapsed() { return line.now() - start; }
    testsupport::ScriptedLine line;
    commandsupport::ScriptedBootstrap bootstrap{line};
    double start = line.now();
};

TEST_F(SpeedChange, FrameOfEveryIndexCarriesItsParametersAndTheirSum) {
    const Bytes frames[9] = {
        {0x00, 0xFF, 0xEB, 0x01, 0xEA}, {0x00, 0xFF, 0xF9, 0x01, 0xF8},
        {0x80, 0xFF, 0xFD, 0x02, 0x7C}, {0xC0, 0xFF, 0xFF, 0x02, 0xBE},
        {0xB0, 0xFF, 0xFD, 0x02, 0xAC}, {0x60, 0xFF, 0xFD, 0x02, 0x5C},
        {0x20, 0xFF, 0xFD, 0x02, 0x1C}, {0x00, 0xFF, 0xFD, 0x01, 0xFC},
        {0xB0, 0xFF, 0xFE, 0x02, 0xAD},
    };
    for (int index = 0; index < 9; ++index) {
        EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, index), 1) << index;
        EXPECT_EQ(Bytes(a_SpeedParameters[index], a_SpeedParameters[index] + 3),
                  Bytes(frames[index].begin(), frames[index].begin() + 3));
    }
    ASSERT_EQ(bootstrap.speedFrames.size(), 9u);
    for (int index = 0; index < 9; ++index)
        EXPECT_EQ(bootstrap.speedFrames[index], frames[index]);
}

TEST_F(SpeedChange, Index3SendsItsFrameAndReopensAt460800) {
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 1);

    Bytes expected = {0xE0, 0xC0, 0xFF, 0xFF, 0x02, 0xBE, 0xE9};
    EXPECT_EQ(line.written(), expected);
    ASSERT_EQ(line.writes().size(), 3u);
    EXPECT_EQ(line.writes()[1].size(), 5u) << "the frame goes in one write";
    ASSERT_EQ(line.settings().size(), 2u);
    EXPECT_EQ(line.settings()[1].baud, 460800);
    EXPECT_EQ(line.settings()[1].parity, 0);
    EXPECT_EQ(line.settings()[1].timeout, 10.0);
    EXPECT_GE(line.outQueuePolls, 1) << "the queue is drained before the reopening";
}

TEST_F(SpeedChange, Index4ReopensAtTheNonStandardRate) {
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 4), 1);
    ASSERT_EQ(line.settings().size(), 2u);
    EXPECT_EQ(line.settings()[1].baud, 220338);
    EXPECT_EQ(line.settings()[1].parity, 0);
    EXPECT_EQ(line.settings()[1].timeout, 10.0);
}

TEST_F(SpeedChange, RefusedCommandSendsNoFrame) {
    bootstrap.answers.speedAccept = {0xC1};
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 2);
    EXPECT_EQ(line.written(), Bytes{0xE0});
    EXPECT_EQ(line.settings().size(), 1u);
}

TEST_F(SpeedChange, RateThePortRefusesIsNamedAndNotTriedAgain) {
    line.refusedBaud = 302325;
    DownloadContext context{};
    context.ComPort = 4;
    context.SpeedIndex = 8;
    EXPECT_EQ(dwl11_0SetSpeedAndPMU(context), 9);
    EXPECT_STREQ(ma_Comment, " COMMAND : the port refused 302325 baud: Invalid parameter ");
    EXPECT_EQ(bootstrap.count(0xE0), 1) << "no second attempt on the closed port";
    EXPECT_EQ(bootstrap.count(0xE9), 0) << "no speed control at a rate the port refused";
    // A rate it takes goes on as before.
    line.refusedBaud = 0;
    ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 8), 1);
}

TEST_F(SpeedChange, FrameAcknowledgeAndChecksumAnswer) {
    bootstrap.answers.speedAck = {0xC4};
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 7);
    bootstrap.answers.speedAck = {0xC3, 0x01};
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 8);
    bootstrap.answers.speedAck = {0xC3};
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 8);
    EXPECT_EQ(line.settings().size(), 1u) << "the port keeps the boot speed";
}

TEST_F(SpeedChange, SpeedIndexOutsideTheTableSendsNothing) {
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 9), 3);
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, -1), 3);
    EXPECT_TRUE(line.written().empty());
    EXPECT_STREQ(ma_Comment, " COMMAND : no link speed of index -1 ");
}

TEST_F(SpeedChange, SpeedControlAnsweredOnTheThirdTryPasses) {
    bootstrap.answers.speedControlFirstAnswered = 3;
    EXPECT_EQ(dwl11_51SpeedControl(4), 1);
    EXPECT_EQ(bootstrap.count(0xE9), 3);
    EXPECT_DOUBLE_EQ(elapsed(), 10.0); // two silent tries at the boot time-out
}

TEST_F(SpeedChange, SpeedControlGivesUpAfterFourTries) {
    bootstrap.answers.speedControlFirstAnswered = 0;
    bootstrap.answers.speedControlOther = {0xCB};
    EXPECT_EQ(dwl11_51SpeedControl(4), 9);
    EXPECT_EQ(bootstrap.count(0xE9), 4);

    bootstrap.answers.speedControlOther = {};
    EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, 3), 9);
    EXPECT_EQ(bootstrap.count(0xE9), 8);
    EXPECT_DOUBLE_EQ(elapsed(), 40.0) << "four silent tries at the new time-out";
    EXPECT_STREQ(ma_Comment, " COMMAND : no answer at 460800 baud ");
}

} // namespace

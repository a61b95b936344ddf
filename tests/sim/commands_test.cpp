// The running bootstrap's one-byte commands, the speed change and the extension module.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"

using namespace simtest;

namespace {

class Commands : public SimTest {};

TEST_F(Commands, SetUpCommandsAnswerAsTheBootstrapDoes) {
    start(runningConfig());
    send({0xEB});
    EXPECT_EQ(read(2), Ints({0xC0, 0xC9}));
    send({0xEF});
    EXPECT_EQ(read(3), Ints({0xC0, 0xCF, 0x00}));
    send({0xE9});
    EXPECT_EQ(read(1), Ints({0xCA}));
    send({0x55}); // unknown: no answer
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_EQ(handset().recording().commands, (std::vector<uint8_t>{0xEB, 0xEF, 0xE9, 0x55}));
}

TEST_F(Commands, SpeedChangeMovesTheHandsetAndTheOldRateGarbles) {
    start(runningConfig());
    EXPECT_EQ(changeSpeed(0xC0, 0xFF, 0xFF), Ints({0xC3, 0x00}));
    uint64_t garbledBefore = handset().recording().garbledBytes;
    send({0xE9}); // still at 38400, even parity
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_EQ(handset().recording().garbledBytes, garbledBefore + 1);
    ASSERT_EQ(OpenComConfig(kPort, "COM1", 460800, 0, 8, 1, 65536, 65536), 0);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
    EXPECT_EQ(handset().recording().currentBaud, 460800);
    EXPECT_EQ(handset().recording().currentParity, 0);
    EXPECT_EQ(handset().recording().bytesPerBaud.at(460800), 1u);
}

TEST_F(Commands, EverySpeedOfTheTable) {
    const struct {
        uint8_t p[3];
        long baud;
    } table[] = {
        {{0x00, 0xFF, 0xEB}, 38400},  {{0x00, 0xFF, 0xF9}, 115200}, {{0x80, 0xFF, 0xFD}, 230400},
        {{0xC0, 0xFF, 0xFF}, 460800}, {{0xB0, 0xFF, 0xFD}, 220338}, {{0x60, 0xFF, 0xFD}, 240740},
        {{0x20, 0xFF, 0xFD}, 260000}, {{0x00, 0xFF, 0xFD}, 270833}, {{0xB0, 0xFF, 0xFE}, 302325}};
    for (const auto& entry : table) {
        start(runningConfig());
        EXPECT_EQ(changeSpeed(entry.p[0], entry.p[1], entry.p[2]), Ints({0xC3, 0x00}));
        ASSERT_EQ(OpenComConfig(kPort, "COM1", entry.baud, 0, 8, 1, 65536, 65536), 0);
        send({0xE9});
        EXPECT_EQ(ComRdByte(kPort), 0xCA) << entry.baud;
        // Even the boot rate without parity is another line setting than the boot loader's.
        EXPECT_EQ(handset().recording().currentParity, 0);
    }
}

TEST_F(Commands, WrongSpeedChecksumKeepsTheRate) {
    start(runningConfig());
    send({0xE0});
    EXPECT_EQ(ComRdByte(kPort), 0xC0);
    send({0xC0, 0xFF, 0xFF, 0x02, 0xBF});
    EXPECT_EQ(read(2), Ints({0xC3, 0x01}));
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
    // A divider the bootstrap does not know, with a right sum.
    EXPECT_EQ(changeSpeed(0x01, 0x02, 0x03), Ints({0xC3, 0x02}));
    EXPECT_EQ(handset().recording().currentBaud, 38400);
}

TEST_F(Commands, SwitchOffIgnoresEverythingUntilDtrRisesAgain) {
    start(bootConfig());
    boot();
    send({0xE8});
    EXPECT_EQ(ComRdByte(kPort), 0xC0);
    EXPECT_TRUE(handset().recording().switchedOff);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), -99);
    ComSetEscape(kPort, SETDTR);
    EXPECT_EQ(ComRdByte(kPort), 0xBE);
    EXPECT_FALSE(handset().recording().switchedOff);
    EXPECT_EQ(handset().recording().powerOns, 2);
}

TEST_F(Commands, ExtensionModuleEndsWhenTheLineFallsIdle) {
    for (bool paced : {false, true}) {
        sim::HandsetConfig config = runningConfig();
        config.wirePacing = paced;
        start(config);
        EXPECT_EQ(changeSpeed(0xC0, 0xFF, 0xFF), Ints({0xC3, 0x00}));
        while (GetOutQLen(kPort) > 0) {
        }
        ASSERT_EQ(OpenComConfig(kPort, "COM1", 460800, 0, 8, 1, 65536, 65536), 0);
        SetComTime(kPort, 10.0);
        send({0xEE});
        EXPECT_EQ(read(5), Ints({0xC0, 0x00, 0x01, 0x00, 0x00}));
        std::vector<uint8_t> module = Pattern(20000, 88);
        for (size_t at = 0; at < module.size(); at += 8192) {
            size_t n = std::min<size_t>(8192, module.size() - at);
            ASSERT_EQ(ComWrt(kPort, module.data() + at, static_cast<int>(n)), static_cast<int>(n));
            while (GetOutQLen(kPort) > 0) {
            }
        }
        EXPECT_EQ(ComRdByte(kPort), 0x63) << paced;
        EXPECT_EQ(handset().recording().extensionModule, module);
        send({0xE9});
        EXPECT_EQ(ComRdByte(kPort), 0xCA);
    }
}

} // namespace

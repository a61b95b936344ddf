// Fault injection: each knob, and that a seed makes a run repeatable.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"
#include "sim/fault_options.h"

using namespace simtest;

namespace {

class Faults : public SimTest {};

TEST_F(Faults, SilenceFromTheNthReplyOn) {
    sim::HandsetConfig config = runningConfig();
    config.faults.silentFrom = sim::Step::SpeedControl;
    config.faults.silentOccurrence = 1;
    start(config);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), -99);
    send({0xEB}); // every later reply too
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_TRUE(handset().recording().silenced);
    EXPECT_EQ(handset().recording().replies[int(sim::Step::SpeedControl)], 2);
}

TEST_F(Faults, SilentBootLoader) {
    sim::HandsetConfig config = bootConfig();
    config.faults.silentFrom = sim::Step::WakeUp;
    start(config);
    ComSetEscape(kPort, SETDTR);
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_EQ(handset().recording().wakeUpsSent, 0u);
}

TEST_F(Faults, WrongByteInOneReply) {
    sim::HandsetConfig config = runningConfig();
    config.faults.wrongReplyAt = sim::Step::Gpio;
    config.faults.wrongReplyOccurrence = 1;
    config.faults.wrongByteIndex = 1;
    config.faults.wrongByte = 0x00;
    start(config);
    send({0xEB, 0xEB, 0xEB});
    EXPECT_EQ(read(6), Ints({0xC0, 0xC9, 0xC0, 0x00, 0xC0, 0xC9}));

    config.faults.wrongReplyAt = sim::Step::FlashIdent;
    config.faults.wrongReplyOccurrence = 0;
    config.faults.wrongByteIndex = 0;
    config.faults.wrongByte = -1; // any other value
    config.startInBootstrap = false;
    start(config);
    ASSERT_TRUE(wakeUp());
    upload(Pattern(10, 1));
    std::vector<int> reply = readAll();
    ASSERT_GE(reply.size(), 7u);
    EXPECT_NE(reply[reply.size() - 3], 0xC2);
}

TEST_F(Faults, SlowAnswers) {
    sim::HandsetConfig config = runningConfig();
    config.faults.replyDelay = 2.0;
    start(config);
    SetComTime(kPort, 1.0);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
}

TEST_F(Faults, LineErrorsAreRepeatableForASeed) {
    std::vector<std::vector<int>> runs;
    for (int run = 0; run < 3; ++run) {
        sim::HandsetConfig config = runningConfig();
        config.faults.lineErrorRate = 0.3;
        config.faults.seed = run < 2 ? 11 : 12;
        start(config);
        std::vector<int> got;
        for (int i = 0; i < 200; ++i) {
            send({0xE9});
            got.push_back(ComRdByte(kPort));
        }
        EXPECT_GT(handset().recording().corruptedBytes, 0u);
        EXPECT_NE(std::count(got.begin(), got.end(), 0xCA), 200);
        runs.push_back(got);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0], runs[2]);
}

TEST_F(Faults, DisconnectionForgetsEverything) {
    sim::HandsetConfig config = bootConfig();
    config.faults.disconnectAt = sim::Step::Pmu;
    start(config);
    boot();
    send({0xEF});
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_TRUE(handset().recording().disconnected);
    ComSetEscape(kPort, CLRDTR);
    ComSetEscape(kPort, SETDTR); // a pulled cable brings no power either
    EXPECT_EQ(ComRdByte(kPort), -99);
}

TEST_F(Faults, RandomFaultsNeverWedgeTheEmulator) {
    // Random bytes from the PC in every state: the handset may answer anything, but the link
    // always returns within its time-out and the session ends cleanly.
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        sim::HandsetConfig config = runningConfig();
        config.faults.seed = seed;
        config.faults.lineErrorRate = 0.05;
        start(config);
        SetComTime(kPort, 0.5);
        std::vector<uint8_t> junk = Pattern(3000, seed);
        for (size_t at = 0; at < junk.size(); at += 100) {
            send(std::vector<uint8_t>(junk.begin() + at, junk.begin() + at + 100));
            double before = clock().now();
            int b = ComRdByte(kPort);
            EXPECT_LE(clock().now() - before, 0.5 + 1e-9);
            EXPECT_TRUE(b == -99 || (b >= 0 && b <= 255));
        }
    }
}

// The options as typed on either program's command line: all of them at once, and each bad
// one named by its message.
TEST(FaultOptions, SetTheConfigOrNameTheFirstBadOne) {
    sim::FaultOptions all;
    all.silentFrom = "sectorack:2";
    all.wrongReply = "Gpio";
    all.disconnectAt = "TfsStart:1000000";
    all.rejectSectors = {"0x02010000", "33554432"};
    all.badChecksums = {"0xFFFFFFFF"};
    all.tfsStartError = "0xa5";
    all.manufacturer = "0x01";
    all.device = "227";
    all.extraId = "0xEC";
    sim::HandsetConfig config;
    ASSERT_EQ(sim::ApplyFaultOptions(all, "--", &config), "");
    const sim::FaultConfig& f = config.faults;
    EXPECT_EQ(f.silentFrom, sim::Step::SectorAck);
    EXPECT_EQ(f.silentOccurrence, 2);
    EXPECT_EQ(f.wrongReplyAt, sim::Step::Gpio);
    EXPECT_EQ(f.wrongReplyOccurrence, 0);
    EXPECT_EQ(f.disconnectAt, sim::Step::TfsStart);
    EXPECT_EQ(f.disconnectOccurrence, 1000000);
    EXPECT_EQ(f.rejectSectors, (std::vector<uint32_t>{0x02010000u, 0x02000000u}));
    EXPECT_EQ(f.badChecksumSectors, std::vector<uint32_t>{0xFFFFFFFFu});
    EXPECT_EQ(f.tfsStartError, 0xA5);
    EXPECT_EQ(config.manufacturerId, 0x01);
    EXPECT_EQ(config.deviceId, 0xE3);
    EXPECT_EQ(config.extraIdByte, 0xEC);

    using Text = std::string sim::FaultOptions::*;
    const struct {
        Text field;
        const char* typed;
        const char* message;
    } bad[] = {
        {&sim::FaultOptions::silentFrom, "Nowhere", "--sim-silent-from: unknown step Nowhere"},
        {&sim::FaultOptions::silentFrom, "None", "--sim-silent-from: unknown step None"},
        {&sim::FaultOptions::wrongReply, "Gpio:", "--sim-wrong-reply: unknown step Gpio:"},
        {&sim::FaultOptions::disconnectAt, "Gpio:1000001",
         "--sim-disconnect: unknown step Gpio:1000001"},
        {&sim::FaultOptions::disconnectAt, "Gpio:-1", "--sim-disconnect: unknown step Gpio:-1"},
        {&sim::FaultOptions::manufacturer, "256",
         "--sim-manufacturer takes a byte (0 to 255, 0x.. allowed)"},
        {&sim::FaultOptions::device, "-1", "--sim-device takes a byte (0 to 255, 0x.. allowed)"},
        {&sim::FaultOptions::extraId, " 1", "--sim-extra-id takes a byte (0 to 255, 0x.. allowed)"},
        {&sim::FaultOptions::tfsStartError, "A2", "--sim-tfs-start-error takes A1 or A5"},
    };
    for (const auto& b : bad) {
        sim::FaultOptions options;
        options.*b.field = b.typed;
        EXPECT_EQ(sim::ApplyFaultOptions(options, "--sim-", &config), b.message);
    }
    sim::FaultOptions addresses;
    addresses.rejectSectors = {"0x100000000"};
    EXPECT_EQ(sim::ApplyFaultOptions(addresses, "--", &config),
              "--reject-sector takes a handset address");
    addresses.rejectSectors.clear();
    addresses.badChecksums = {"0x0200000g"};
    EXPECT_EQ(sim::ApplyFaultOptions(addresses, "--", &config),
              "--bad-checksum takes a handset address");
}

} // namespace

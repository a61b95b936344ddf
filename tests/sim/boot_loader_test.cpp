// The ROM boot loader as the PC meets it: wake-up, frames, bootstrap start, identification.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"

using namespace simtest;

namespace {

class BootLoader : public SimTest {};

TEST_F(BootLoader, SilentUntilDtrThenAnnouncesItself) {
    start(bootConfig());
    double t0 = clock().now();
    EXPECT_EQ(ComRdByte(kPort), -99);
    EXPECT_DOUBLE_EQ(clock().now() - t0, 5.0);
    ComSetEscape(kPort, SETDTR);
    EXPECT_EQ(ComRdByte(kPort), 0xBE);
    EXPECT_EQ(ComRdByte(kPort), 0xBE); // again and again until answered
    EXPECT_EQ(handset().recording().powerOns, 1);
}

TEST_F(BootLoader, PoweredAtStartWithoutDtr) {
    sim::HandsetConfig config = bootConfig();
    config.powerOnDtr = false;
    start(config);
    EXPECT_EQ(ComRdByte(kPort), 0xBE);
}

TEST_F(BootLoader, NoiseBeforeWakeUpIsNeverBeAndRepeatsForASeed) {
    sim::HandsetConfig config = bootConfig();
    config.faults.noiseBeforeWakeUp = 40;
    config.faults.seed = 7;
    std::vector<std::vector<int>> runs;
    for (int run = 0; run < 2; ++run) {
        start(config);
        ComSetEscape(kPort, SETDTR);
        std::vector<int> bytes = read(41);
        for (int i = 0; i < 40; ++i)
            EXPECT_NE(bytes[i], 0xBE) << i;
        EXPECT_EQ(bytes[40], 0xBE);
        runs.push_back(bytes);
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(BootLoader, AnswerStopsTheAnnouncements) {
    start(bootConfig());
    ASSERT_TRUE(wakeUp());
    clock().advance(1.0);
    EXPECT_EQ(readAll(), std::vector<int>{});
    EXPECT_FALSE(handset().recording().bootLoaderDead);
}

TEST_F(BootLoader, UploadRecordsFramesAndStartsTheBootstrap) {
    start(bootConfig());
    boot();
    const sim::Recording& rec = handset().recording();
    ASSERT_EQ(rec.bootFrames.size(), 8u);
    EXPECT_EQ(rec.bootFrames[0], (std::vector<uint8_t>{0xC6, 0x80}));
    EXPECT_EQ(rec.bootFrames[3], (std::vector<uint8_t>{0xD7, 0x82}));
    EXPECT_EQ(rec.bootFrames[4], (std::vector<uint8_t>{0x00, 0x03, 0, 0, 0, 0}));
    EXPECT_EQ(rec.bootFrames[5].size(), 4003u);
    EXPECT_EQ(rec.bootFrames[5][0], 0x4F);
    EXPECT_EQ(rec.bootFrames[5][1], 0xA0);
    EXPECT_EQ(rec.bootFrames[7], (std::vector<uint8_t>{0x60, 0x00}));
    EXPECT_EQ(rec.bootstrapImage, Pattern(4001, 87));
    // The running bootstrap answers commands at the boot speed.
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
}

TEST_F(BootLoader, ProductType2RegisterWriteAndLargestImage) {
    start(bootConfig());
    ASSERT_TRUE(wakeUp());
    send({0xC7, 0x01, 0xD6, 0x02, 0xC7, 0x83, 0x87, 0xC4});
    send({0x00, 0x03, 0xFF, 0xFF, 0x80, 0x03, 0x40, 0x00, 0x70});
    std::vector<uint8_t> image = Pattern(8192, 3);
    send({0x00, 0x03, 0, 0, 0, 0, 0x5F, 0xFF});
    send(image);
    send({0x00, 0x03, 0, 0, 0, 0, 0x60, 0x00});
    std::vector<int> reply = readAll();
    ASSERT_GE(reply.size(), 7u);
    std::vector<int> tail(reply.end() - 7, reply.end());
    EXPECT_EQ(tail[0], 0x44);
    EXPECT_EQ(tail[1], 0xA0);
    EXPECT_EQ(tail[4], 0xC2);
    EXPECT_EQ(handset().recording().bootstrapImage, image);
}

TEST_F(BootLoader, ExtraIdentificationByteForSomeChips) {
    sim::HandsetConfig config = bootConfig();
    config.manufacturerId = 0x01;
    config.deviceId = 0xE3;
    config.extraIdByte = 0x5A;
    start(config);
    ASSERT_TRUE(wakeUp());
    upload(Pattern(100, 1));
    std::vector<int> reply = readAll();
    ASSERT_GE(reply.size(), 8u);
    std::vector<int> tail(reply.end() - 4, reply.end());
    EXPECT_EQ(tail, Ints({0xC2, 0x01, 0xE3, 0x5A}));
    EXPECT_EQ(handset().flashSize(), 4u * 65536);
}

TEST_F(BootLoader, MalformedFramesSilenceTheLoader) {
    const std::vector<std::vector<uint8_t>> bad = {
        {0x00, 0x04, 0, 0, 0, 0},             // address frame without 03
        {0x60, 0x01},                         // start frame without 00
        {0x20},                               // no frame begins so
        {0x40, 0x00, 0x11},                   // data before any address
        {0x00, 0x03, 0, 0, 0, 0, 0x60, 0x00}, // start with nothing loaded
        {0x00, 0x03, 0, 0, 0, 0, 0x40, 0x00, 0x11, 0x00, 0x03, 0, 0, 0x10, 0, 0x60,
         0x00}, // jump to where nothing was loaded
    };
    for (const auto& frames : bad) {
        start(bootConfig());
        ASSERT_TRUE(wakeUp());
        send(frames);
        upload(Pattern(50, 2)); // a good upload afterwards is not heard any more
        EXPECT_EQ(readAll(), std::vector<int>{});
        EXPECT_TRUE(handset().recording().bootLoaderDead);
    }
}

TEST_F(BootLoader, AnswerAtTheWrongRateIsNotHeard) {
    start(bootConfig());
    ASSERT_EQ(OpenComConfig(kPort, "COM1", 115200, 0, 8, 1, 65536, 65536), 0);
    ComSetEscape(kPort, SETDTR);
    int b = ComRdByte(kPort);
    EXPECT_NE(b, 0xBE); // announcements at 38400 arrive garbled
    send({0x44});
    EXPECT_GT(handset().recording().garbledBytes, 1u);
    // Back at the right rate the loader still waits for its answer.
    ASSERT_EQ(OpenComConfig(kPort, "COM1", 38400, 2, 8, 1, 65536, 65536), 0);
    FlushInQ(kPort);
    ASSERT_TRUE(wakeUp());
    upload(Pattern(10, 1));
    EXPECT_FALSE(readAll().empty());
}

} // namespace

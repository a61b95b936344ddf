// The boot sequence and the extension module against the emulated handset, in virtual time.
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "sim/handset.h"
#include "tests/support/handset_programs.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

class EmulatedBoot : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(files.ok());
        image = files.writeBootstrap(4000);
        module = files.writeExtension(19999);
    }
    // Boots a handset made from `config`; the session lives until the test ends.
    ResultRecord boot(const sim::HandsetConfig& config) {
        session.reset(); // the old session puts its predecessor back when it goes
        session = std::make_unique<sim::SimSession>(config);
        start = session->clock().now();
        return dwl1_0boot(&ctx);
    }
    double elapsed() { return session->clock().now() - start; }
    const sim::Recording& rec() { return session->handset().recording(); }

    bootsupport::HandsetPrograms files;
    Bytes image, module;
    sim::HandsetConfig config = sim::DefaultConfig();
    DownloadContext ctx = dwl_DefaultContext();
    std::unique_ptr<sim::SimSession> session;
    double start = 0;
};

TEST_F(EmulatedBoot, ProductOneFramesAsTheBootLoaderTakesThem) {
    ctx.ProductType = 1;
    const uint8_t waits[4] = {0, 1, 0, 2};
    std::copy(waits, waits + 4, ctx.WaitState);

    ResultRecord r = boot(config);

    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_EQ(ctx.FlashManufacturerId, config.manufacturerId);
    EXPECT_EQ(ctx.FlashDeviceId, config.deviceId);
    EXPECT_EQ(rec().bootstrapImage, image);
    ASSERT_GE(rec().bootFrames.size(), 4u);
    EXPECT_EQ(rec().bootFrames[0], (Bytes{0xC6, 0x80}));
    EXPECT_EQ(rec().bootFrames[1], (Bytes{0xCE, 0x01}));
    EXPECT_EQ(rec().bootFrames[2], (Bytes{0xD7, 0x00}));
    EXPECT_EQ(rec().bootFrames[3], (Bytes{0xD7, 0x82}));
    EXPECT_EQ(rec().bootFrames.back(), (Bytes{0x60, 0x00}));
    EXPECT_LT(elapsed(), 1.0);
}

TEST_F(EmulatedBoot, ProductTwoWritesTheSetupWordFirst) {
    const uint8_t waits[4] = {1, 2, 3, 4};
    std::copy(waits, waits + 4, ctx.WaitState);

    ResultRecord r = boot(config);

    ASSERT_EQ(r.family, 0) << r.code;
    ASSERT_GE(rec().bootFrames.size(), 6u);
    EXPECT_EQ(rec().bootFrames[0], (Bytes{0xC7, 0x01}));
    EXPECT_EQ(rec().bootFrames[1], (Bytes{0xD6, 0x02}));
    EXPECT_EQ(rec().bootFrames[2], (Bytes{0xC7, 0x83}));
    EXPECT_EQ(rec().bootFrames[3], (Bytes{0x87, 0xC4}));
    EXPECT_EQ(rec().bootFrames[4], (Bytes{0x00, 0x03, 0xFF, 0xFF, 0x80, 0x03}));
    EXPECT_EQ(rec().bootFrames[5], (Bytes{0x40, 0x00, 0x70}));
    EXPECT_EQ(rec().bootstrapImage, image);
}

TEST_F(EmulatedBoot, SilentHandsetGivesTheTimeOutWindowAfterFiveSeconds) {
    config.faults.silentFrom = sim::Step::WakeUp;
    ResultRecord r = boot(config);
    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 4);
    EXPECT_NEAR(elapsed(), 5.0, 0.05);
}

TEST_F(EmulatedBoot, NoiseBeforeTheWakeUpIsSkipped) {
    // A noise byte 0x9D would end the wait like a time-out; this seed's noise has none.
    config.faults.noiseBeforeWakeUp = 40;
    config.faults.seed = 1;
    ResultRecord r = boot(config);
    EXPECT_EQ(r.family, 0) << r.code;
    EXPECT_EQ(ctx.BootAck, 0xBE);
}

TEST_F(EmulatedBoot, LargestImageGoesInOneFrame) {
    image = files.writeBootstrap(8191);
    ResultRecord r = boot(config);
    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_EQ(rec().bootstrapImage, image);
    bool found = false;
    for (const Bytes& f : rec().bootFrames) {
        if (f.size() == 8194) found = f[0] == 0x5F && f[1] == 0xFF;
    }
    EXPECT_TRUE(found);
}

TEST_F(EmulatedBoot, ImageTooLongIsRefusedAndTheHandsetHearsNothing) {
    files.writeBootstrap(8192);
    ResultRecord r = boot(config);
    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(rec().bytesFromPc, 0u);
}

TEST_F(EmulatedBoot, FailuresAfterTheUpload) {
    struct Case {
        sim::Step step;
        bool silent;
        int index;
        int byte;
        int32_t code;
    } cases[] = {
        {sim::Step::BootstrapHello, true, 0, 0, 0x000A019D},
        {sim::Step::BootstrapRuns, false, 0, 0xA1, 11},
        {sim::Step::BootstrapRuns, true, 0, 0, 11},
        {sim::Step::FlashIdent, false, 0, 0xC3, 12},
        {sim::Step::FlashIdent, true, 0, 0, 12},
        {sim::Step::FlashIdent, false, 1, 0x1F, 15},
    };
    for (const Case& c : cases) {
        sim::HandsetConfig cfg = sim::DefaultConfig();
        if (c.silent) {
            cfg.faults.silentFrom = c.step;
        } else {
            cfg.faults.wrongReplyAt = c.step;
            cfg.faults.wrongByteIndex = c.index;
            cfg.faults.wrongByte = c.byte;
        }
        ctx = dwl_DefaultContext();
        ResultRecord r = boot(cfg);
        EXPECT_EQ(r.family, 6) << sim::StepName(c.step);
        EXPECT_EQ(r.code, c.code) << sim::StepName(c.step) << " silent " << c.silent;
    }
}

TEST_F(EmulatedBoot, ExtraIdentificationByteKeepsTheLineInStep) {
    config.manufacturerId = 0x01;
    config.deviceId = 0xE3;
    config.extraIdByte = 0x5A;
    ResultRecord r = boot(config);
    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_EQ(ctx.FlashManufacturerId, 0x01);
    EXPECT_EQ(ctx.FlashDeviceId, 0xE3);
    // The next command's answer is read, not the extra byte.
    EXPECT_EQ(dwl11_8SetGPIO(ctx), 1);
}

class EmulatedModule : public EmulatedBoot {
  protected:
    void SetUp() override {
        EmulatedBoot::SetUp();
        config.startInBootstrap = true;
    }
    int send(const sim::HandsetConfig& cfg, long baud = 460800) {
        session.reset(); // the old session puts its predecessor back when it goes
        session = std::make_unique<sim::SimSession>(cfg);
        EXPECT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
        if (baud != 38400) {
            int index = 0;
            while (a_PCSpeedValue[index] != baud)
                ++index;
            EXPECT_EQ(dwl11_50ChangeSpeed(10, 4, index), 1);
        }
        start = session->clock().now();
        return dwl1_4DownloadExtendMobule(4);
    }
};

TEST_F(EmulatedModule, ModuleArrivesWholeAtTheFastRate) {
    config.wirePacing = true;
    EXPECT_EQ(send(config), 1);
    EXPECT_EQ(rec().extensionModule, module);
    // 20000 bytes at 46080 bytes per second.
    EXPECT_GE(elapsed(), 20000.0 / 46080.0);
    EXPECT_LT(elapsed(), 2.0);
}

TEST_F(EmulatedModule, ModuleAtTheBootSpeed) {
    EXPECT_EQ(send(config, 38400), 1);
    EXPECT_EQ(rec().extensionModule, module);
}

TEST_F(EmulatedModule, WrongAnswers) {
    struct Case {
        sim::Step step;
        int byte;
        int code;
    } cases[] = {
        {sim::Step::ExtensionAccept, 0xC1, 0xC1},
        {sim::Step::ExtensionAccept, 0x01, 0x101},
        {sim::Step::ExtensionDone, 0x01, 0x101},
        {sim::Step::ExtensionDone, 0x62, 0x62},
    };
    for (const Case& c : cases) {
        sim::HandsetConfig cfg = config;
        cfg.faults.wrongReplyAt = c.step;
        cfg.faults.wrongByteIndex = 0;
        cfg.faults.wrongByte = c.byte;
        EXPECT_EQ(send(cfg), c.code) << sim::StepName(c.step);
    }
    sim::HandsetConfig cfg = config;
    cfg.faults.silentFrom = sim::Step::ExtensionDone;
    EXPECT_EQ(send(cfg), 0x9D);
    EXPECT_NEAR(elapsed(), 10.0, 0.5);
}

} // namespace

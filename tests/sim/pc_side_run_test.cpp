// The emulator against the PC's own protocol code: a boot, the set-up commands, a binary image
// written sector by sector and the switch-off, with the examples' flash and handset programs.
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "link/dwl12pclib.h"
#include "sim/handset.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

namespace {

class PcSideRun : public ::testing::TestWithParam<bool> {};

TEST_P(PcSideRun, BootSetUpImageAndSwitchOff) {
    std::string examples = testsupport::sourceDir() + "/examples";
    testsupport::TempDir dir;
    for (const char* name : {"dwl87.spm", "dwl88.spm"}) {
        testsupport::writeBytes(dir.file(name), testsupport::readBytes(examples + "/" + name));
    }
    testsupport::WorkingDirectory cwd(dir.path());
    ASSERT_EQ(dwl10_101InitFlashDescriptionFrom((examples + "/flash.txt").c_str()), 1);

    sim::HandsetConfig config = sim::DefaultConfig();
    config.wirePacing = GetParam();
    sim::SimSession session(config);
    DownloadContext ctx = dwl_DefaultContext();
    ResultRecord boot = dwl1_0boot(&ctx);
    ASSERT_EQ(boot.family, 0) << boot.code;
    EXPECT_EQ(ctx.FlashManufacturerId, config.manufacturerId);
    EXPECT_EQ(ctx.FlashDeviceId, config.deviceId);
    EXPECT_EQ(session.handset().recording().bootstrapImage.size() + 0u,
              testsupport::readBytes(examples + "/dwl87.spm").size() + 1);

    ASSERT_EQ(dwl11_8SetGPIO(ctx), 1);
    ASSERT_EQ(dwl11_0SetSpeedAndPMU(ctx), 1);
    EXPECT_EQ(session.handset().recording().currentBaud, 460800);
    EXPECT_EQ(session.handset().recording().extensionModule.size(),
              testsupport::readBytes(examples + "/dwl88.spm").size() + 1);

    std::vector<uint8_t> image = testsupport::readBytes(examples + "/sample.bin");
    ASSERT_FALSE(image.empty());
    ResultRecord r =
        dwl11_54Download(ctx, static_cast<uint32_t>(image.size()), image.data(), 0x02000000);
    EXPECT_EQ(r.family, 0) << r.code;
    EXPECT_TRUE(session.handset().flashEquals(0x02000000, image.data(),
                                              static_cast<uint32_t>(image.size())));
    EXPECT_EQ(dwl11_7SwitchOffCommand(static_cast<uint8_t>(ctx.ComPort)), 1);
    EXPECT_TRUE(session.handset().recording().switchedOff);
    dwl12_1UartStop(static_cast<uint8_t>(ctx.ComPort));
}

INSTANTIATE_TEST_SUITE_P(Pacing, PcSideRun, ::testing::Values(false, true));

} // namespace

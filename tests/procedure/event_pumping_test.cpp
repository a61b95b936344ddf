// Where the protocol lets the user interface run: while the extension module and the image
// data drain and while a sector acknowledgement is awaited, and nowhere in the boot, the speed
// change and the single commands (their answers are read straight after the command).
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "link/dwl12pclib.h"
#include "sim/handset.h"
#include "tests/support/temp_files.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

namespace {

// A view that only counts how often the protocol let events run.
class CountingView : public UiView {
  public:
    int pumps = 0;
    void processEvents() override { ++pumps; }
    void runEventLoop() override {}
    void quitEventLoop() override {}
    int fileSelect(const char*, const char*, const char*, std::string&) override {
        return VAL_NO_FILE_SELECTED;
    }
    void message(const char*, const char*) override {}
};

TEST(EventPumping, OnlyTheLongTransfersLetTheInterfaceRun) {
    const std::string examples = testsupport::sourceDir() + "/examples";
    testsupport::TempDir dir;
    for (const char* name : {"dwl87.spm", "dwl88.spm"})
        testsupport::writeBytes(dir.file(name), testsupport::readBytes(examples + "/" + name));
    testsupport::WorkingDirectory cwd(dir.path());
    ASSERT_EQ(dwl10_101InitFlashDescriptionFrom((examples + "/flash.txt").c_str()), 1);

    sim::HandsetConfig config = sim::DefaultConfig();
    config.wirePacing = true; // bytes take line time, so the output queue has to drain
    sim::SimSession session(config);
    CountingView view;
    uis_SetView(&view);
    DownloadContext ctx = dwl_DefaultContext();
    const uint8_t port = static_cast<uint8_t>(ctx.ComPort);

    ASSERT_EQ(dwl1_0boot(&ctx).family, 0);
    ASSERT_EQ(dwl11_8SetGPIO(ctx), 1);
    ASSERT_EQ(dwl11_50ChangeSpeed(10, port, ctx.SpeedIndex), 1);
    ASSERT_EQ(dwl11_52SetPMU(port), 1);
    EXPECT_EQ(view.pumps, 0);

    ASSERT_EQ(dwl1_4DownloadExtendMobule(port), 1);
    EXPECT_GT(view.pumps, 0);

    view.pumps = 0;
    const std::vector<uint8_t> image(3 * 65536 + 100, 0x5A);
    const ResultRecord r =
        dwl11_54Download(ctx, static_cast<uint32_t>(image.size()), image.data(), DWL_FLASH_BASE);
    ASSERT_EQ(r.family, 0) << r.code;
    EXPECT_GT(view.pumps, 0);

    view.pumps = 0;
    ASSERT_EQ(dwl11_7SwitchOffCommand(port), 1);
    EXPECT_EQ(view.pumps, 0);

    uis_SetView(nullptr);
    dwl12_1UartStop(port);
}

} // namespace

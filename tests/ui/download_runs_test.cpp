// Whole runs from the main panel against the emulated handset: the start checks, the log lines,
// the lights, the result window, the lock and the port.
#include "tests/support/image_step_recorder.h"
#include "tests/support/operator_bench.h"

#include "link/com_map.h"

#include "boot/dwl1boot.h"
#include "config/dwl56conf.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "session/dwl_image_step.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using testsupport::OperatorBench;
using testsupport::readBytes;

namespace {

TEST(StartChecks, ModeZeroWantsBothImagesAndNamesTheFirstMissing) {
    OperatorBench bench;
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a cla file before start");
    bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 100));
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 2u);
    EXPECT_EQ(bench.messages()[1], "DOWNLOAD: Please load a ogm file before start");
    // Nothing else happened: no lock, no window, no boot.
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
}

TEST(StartChecks, EachModeAsksForTheImagesItRequires) {
    struct Case {
        int mode;
        bool bin, ogm, tfs;
        const char* message; // nullptr: the run would start
    };
    const Case cases[] = {
        {1, false, true, true, "Please load a cla file before start"},
        {2, true, false, true, "Please load a ogm file before start"},
        {3, true, true, false, "Please load a TFS_ogm file before start"},
        {4, true, false, true, "Please load a ogm file before start"},
        {5, false, true, true, "Please load a cla file before start"},
        {6, true, true, false, "Please load a TFS_ogm file before start"},
        {6, false, true, false, "Please load a cla file before start"},
    };
    for (const Case& c : cases) {
        OperatorBench bench;
        bench.choose(MAIN_MODE, 5);
        if (c.bin) bench.load(MAIN_BIN_LOAD, bench.writeImage("a.bin", 100));
        if (c.ogm) bench.load(MAIN_OGM_LOAD, bench.writeImage("a.ogm", 100));
        if (c.tfs) bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
        bench.choose(MAIN_MODE, c.mode);
        uis_ClearMessages();
        bench.press(MAIN_START);
        ASSERT_EQ(bench.messages().size(), 1u) << c.mode;
        EXPECT_EQ(bench.messages()[0], std::string("DOWNLOAD: ") + c.message) << c.mode;
    }
}

TEST(StartChecks, AnyEventOnStartClearsTheFormatRequest) {
    OperatorBench bench;
    v_Format_Flag = 1;
    dwl51_50MMIStart(v_Panel, MAIN_START, EVENT_VAL_CHANGED, nullptr, 0, 0);
    EXPECT_EQ(v_Format_Flag, 0);
    EXPECT_TRUE(bench.messages().empty());
    v_Format_Flag = 1;
    bench.press(MAIN_START); // refused for want of images, flag cleared all the same
    EXPECT_EQ(v_Format_Flag, 0);
}

TEST(StartChecks, ARestoredPathWhoseFileIsMissingDoesNotCountAsLoaded) {
    OperatorBench bench;
    testsupport::writeCrLfFile(bench.file("config.txt"),
                               {"* x", "CLA File : " + bench.file("gone.bin"), "COM : 4", "PMU : 0",
                                "Product Type : 2", "Download Type : 0"});
    bench.menu(MENU_RESTORE);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : File not found");
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
    bench.pressOk(w);
    bench.choose(MAIN_MODE, 1);
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a cla file before start");
}

TEST(StartChecks, APathWithoutHeldBytesDoesNotCountAsLoaded) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 1);
    snprintf(sg_DownloadContext.ClaFile, sizeof sg_DownloadContext.ClaFile, "%s",
             bench.file("x.bin").c_str());
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a cla file before start");
}

TEST(DownloadRun, ModeFiveWithOnlyTheBinaryRunsToTheSuccessWindow) {
    OperatorBench bench;
    bench.emulate();
    const std::string path = bench.writeImage("run.bin", 70001, 11);
    bench.choose(MAIN_MODE, 5);
    bench.load(MAIN_BIN_LOAD, path);
    bench.lines.clear();
    // The run counts as active from its start to its result (the progress meter asks).
    struct Active {
        int heard = 0, whileActive = 0;
    } active;
    v_ImageStepListener = {[](const ImageStepEvent& e, void* user) {
                               if (e.Phase == IMAGE_STEP_CLEARED) return; // before the start
                               auto* a = static_cast<Active*>(user);
                               ++a->heard;
                               if (dwl51_9RunActive()) ++a->whileActive;
                           },
                           &active};
    bench.press(MAIN_START);
    v_ImageStepListener = {nullptr, nullptr};
    EXPECT_GT(active.heard, 0);
    EXPECT_EQ(active.whileActive, active.heard);
    EXPECT_FALSE(dwl51_9RunActive());

    EXPECT_TRUE(bench.messages().empty());
    const int success = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(success, 0) << "log:\n" << ::testing::PrintToString(bench.lines);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    const int compat = bench.find("Check the compatibility");
    ASSERT_GE(compat, 0);
    const int binary = bench.find("Download binary sector by sector", compat);
    ASSERT_GT(binary, compat);
    const int ogm = bench.find("Download ogm sector by sector", binary);
    const int tfs = bench.find("Download   TFS sector by sector", ogm);
    EXPECT_GT(ogm, binary);
    EXPECT_GT(tfs, ogm);
    EXPECT_GT(bench.find("The end", tfs), tfs);
    // The flash shows on the first light, the time on its label.
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 1);
    EXPECT_EQ(bench.label(MAIN_LED_FLASH).rfind(" Flash ", 0), 0u);
    EXPECT_NE(bench.label(MAIN_ELAPSED_TIME).find(" min "), std::string::npos);
    // The handset holds the image and was switched off; the port is closed.
    const std::vector<uint8_t> bytes = readBytes(path);
    EXPECT_TRUE(bench.handset().flashEquals(0x02000000, bytes.data(), bytes.size()));
    EXPECT_TRUE(bench.handset().recording().switchedOff);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    // The context's end time is the one the start set, not the procedure's.
    EXPECT_EQ(sg_DownloadContext.EndTime, sg_DownloadContext.StartTime);
    // Binary path: locked until the window's button.
    EXPECT_FALSE(bench.menuBarShown());
    EXPECT_TRUE(bench.dimmed(MAIN_START));
    bench.pressOk(success);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0);
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0);
    EXPECT_EQ(bench.label(MAIN_ELAPSED_TIME), " ");
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_FALSE(bench.dimmed(MAIN_START));
}

TEST(DownloadRun, ModeTwoUnlocksAtOnceAndTheWindowStays) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 2);
    const std::string path = bench.writeImage("run.ogm", 30001, 12);
    bench.load(MAIN_OGM_LOAD, path);
    bench.press(MAIN_START);
    const int success = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
    ASSERT_GT(success, 0) << ::testing::PrintToString(bench.lines);
    EXPECT_TRUE(bench.logged("Download ogm sector by sector"));
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_FALSE(bench.dimmed(MAIN_START));
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    const std::vector<uint8_t> bytes = readBytes(path);
    const uint32_t at =
        dwl3_2OgmStartAddress(sg_DownloadContext.Model, sg_DownloadContext.FlashDeviceId);
    EXPECT_TRUE(bench.handset().flashEquals(at, bytes.data(), bytes.size()));
    bench.pressOk(success);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(DownloadRun, ModeThreeDownloadsTheTfsImageEvenAfterItsLoadSetTheFormatRequest) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 3);
    bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
    ASSERT_EQ(v_Format_Flag, 1);
    bench.press(MAIN_START);
    EXPECT_GT(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0)
        << ::testing::PrintToString(bench.lines);
    EXPECT_TRUE(bench.logged("Download TFS_ogm file sector by sector"));
    EXPECT_TRUE(bench.logged("The End"));
    EXPECT_FALSE(bench.handset().tfs().formatted);
    EXPECT_EQ(bench.handset().tfs().files.size(), 10u);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(DownloadRun, ProductTypeZeroFailsTheBootAndDownloadsNothing) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 1000));
    sg_DownloadContext.ProductType = 0;
    bench.press(MAIN_START);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : File not found");
    EXPECT_TRUE(bench.handset().recording().sectorWrites.empty());
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    EXPECT_EQ(bench.intValue(MAIN_LED_FLASH), 0);
    // The turn-on panel does not stay behind after a failed boot.
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    bench.pressOk(w);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(DownloadRun, ASilentHandsetGivesTheTimeOutWindowWhoseButtonClosesTheTurnOnPanel) {
    OperatorBench bench;
    sim::HandsetConfig config = sim::DefaultConfig();
    config.faults.silentFrom = sim::Step::WakeUp;
    bench.emulate(config);
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 1000));
    bench.press(MAIN_START);
    const int w = bench.window("mmi.uir", MMI_PANEL_TIMEOUT);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.window("Utility.uir", UTIL_PANEL_BOOT_ERR), 0);
    EXPECT_GT(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    bench.pressOk(w);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), 0);
    EXPECT_TRUE(bench.menuBarShown());
}

// Modes 2 to 4 unlock while the time-out window is up, so the operator can start again: there is
// one switch-on window at a time, each time-out window closes only its own run's, and the
// switch-on window's own OK and frame close it.
TEST(DownloadRun, TimedOutRunsStartedAgainLeaveNoSwitchOnWindowBehind) {
    OperatorBench bench;
    sim::HandsetConfig config = sim::DefaultConfig();
    config.faults.silentFrom = sim::Step::WakeUp;
    bench.emulate(config);
    bench.choose(MAIN_MODE, 2);
    bench.load(MAIN_OGM_LOAD, bench.writeImage("run.ogm", 1000));
    bench.press(MAIN_START);
    const int first = bench.window("mmi.uir", MMI_PANEL_TIMEOUT);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(bench.menuBarShown());
    bench.press(MAIN_START);
    const int second = bench.window("mmi.uir", MMI_PANEL_TIMEOUT);
    ASSERT_GT(second, first);
    EXPECT_EQ(bench.windowCount("mmi.uir", MMI_PANEL_TURN_ON), 1);
    const int turnOn = bench.window("mmi.uir", MMI_PANEL_TURN_ON);
    bench.pressOk(first);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_TURN_ON), turnOn) << "the second run's";
    bench.pressOk(second);
    EXPECT_EQ(bench.windowCount("mmi.uir", MMI_PANEL_TURN_ON), 0);

    // The switch-on window's OK closes it, and so does its frame.
    for (bool frame : {false, true}) {
        bench.press(MAIN_START);
        const int w = bench.window("mmi.uir", MMI_PANEL_TURN_ON);
        ASSERT_GT(w, 0) << frame;
        if (frame) {
            uis_OperateClose(w);
            uis_DispatchEvents();
        } else {
            bench.pressOk(w);
        }
        EXPECT_EQ(bench.windowCount("mmi.uir", MMI_PANEL_TURN_ON), 0) << frame;
        bench.pressOk(bench.window("mmi.uir", MMI_PANEL_TIMEOUT));
        EXPECT_EQ(bench.windowCount("mmi.uir", MMI_PANEL_TIMEOUT), 0) << frame;
    }
}

TEST(DownloadRun, ACommandFailureShowsTheCommandWindowAndClosesThePort) {
    OperatorBench bench;
    sim::HandsetConfig config = sim::DefaultConfig();
    config.faults.silentFrom = sim::Step::SwitchOff;
    bench.emulate(config);
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 2000));
    bench.press(MAIN_START);
    const int w = bench.window("Utility.uir", UTIL_PANEL_COMMAND_ERR);
    ASSERT_GT(w, 0) << ::testing::PrintToString(bench.lines);
    EXPECT_EQ(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0);
    EXPECT_FALSE(bench.portOpen(sg_DownloadContext.ComPort));
    EXPECT_FALSE(bench.menuBarShown());
    bench.pressOk(w);
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(DownloadRun, TheRunUsesTheWaitStatesAndSpeedChosenOnThePanel) {
    OperatorBench bench;
    bench.emulate();
    bench.menu(MENU_WAIT_STATE(1, 2));
    bench.choose(MAIN_SPEED, 1);
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 3000));
    bench.press(MAIN_START);
    ASSERT_GT(bench.window("mmi.uir", MMI_PANEL_SUCCESS), 0);
    const auto& frames = bench.handset().recording().bootFrames;
    ASSERT_FALSE(frames.empty());
    // Product type 2: C7 w0, D6 w1, ...
    std::vector<uint8_t> all;
    for (const auto& f : frames)
        all.insert(all.end(), f.begin(), f.end());
    const std::vector<uint8_t> chipSelects = {0xC7, 0x00, 0xD6, 0x02};
    EXPECT_NE(std::search(all.begin(), all.end(), chipSelects.begin(), chipSelects.end()),
              all.end());
    EXPECT_GT(bench.handset().recording().bytesPerBaud.count(115200), 0u);
}

// The first log line of a command names when, where, how fast, in which mode and exactly the
// images its run writes: those of the mode that are loaded and that the download type writes.
TEST(DownloadRun, TheRunLineNamesPortSpeedModeAndTheImagesWritten) {
    struct Case {
        int button;
        const char* command;
        int mode, speed, downloadType;
        const char* tail; // the line from its speed on
    };
    const Case cases[] = {
        {MAIN_START, "Run", 2, 0, 0, "38400 baud mode 2 run.ogm "},
        {MAIN_START, "Run", 3, 8, 0, "302325 baud mode 3 sample.tfs "},
        {MAIN_START, "Run", 5, 3, 0, "460800 baud mode 5 run.bin run.ogm sample.tfs "},
        {MAIN_START, "Run", 6, 3, 0, "460800 baud mode 6 run.bin sample.tfs "},
        // Other download types write nothing but the TFS image of mode 4.
        {MAIN_START, "Run", 0, 3, 1, "460800 baud mode 0 - "},
        {MAIN_START, "Run", 4, 3, 2, "460800 baud mode 4 sample.tfs "},
        // The TFS ogm start after a TFS image load formats; the boot only writes nothing.
        {MAIN_TFS_OGM_START, "Run", 0, 3, 0, "460800 baud mode 0 - "},
        {MAIN_BOOT_START, "Boot", 1, 3, 0, "460800 baud mode 1 - "},
        {MAIN_FORMAT, "Format", 5, 3, 0, "460800 baud mode 5 - "},
    };
    for (const Case& c : cases) {
        OperatorBench bench;
        bench.emulate();
        bench.choose(MAIN_MODE, 5);
        bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 3000));
        bench.load(MAIN_OGM_LOAD, bench.writeImage("run.ogm", 3000));
        bench.load(MAIN_TFS_LOAD, bench.copyTfsSample());
        bench.choose(MAIN_MODE, c.mode);
        bench.choose(MAIN_SPEED, c.speed);
        sg_DownloadContext.DownloadType = c.downloadType;
        bench.lines.clear();
        bench.press(c.button);
        ASSERT_FALSE(bench.lines.empty()) << c.command << " " << c.mode;
        const std::string& line = bench.lines.front();
        EXPECT_EQ(line.rfind(std::string(" ") + c.command + " 20", 0), 0u) << line;
        const std::string where = " COM4 " + dwl_ComDevicePath(4) + " ";
        ASSERT_NE(line.find(where), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.find(where) + where.size()), c.tail) << line;
    }
}

// A boot only and a format are commands of their own: the progress of the last run is over.
TEST(DownloadRun, BootOnlyAndFormatEmptyTheProgressOfTheLastRun) {
    for (int button : {MAIN_BOOT_START, MAIN_FORMAT}) {
        OperatorBench bench;
        bench.emulate();
        bench.choose(MAIN_MODE, 1);
        bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 3000));
        bench.press(MAIN_START);
        bench.pressOk(bench.window("mmi.uir", MMI_PANEL_SUCCESS));
        ASSERT_EQ(bench.intValue(MAIN_PROGRESS_PERCENT), 100);
        testsupport::ImageStepRecorder steps;
        bench.press(button);
        EXPECT_EQ(bench.intValue(MAIN_PROGRESS_PERCENT), 0) << button;
        ASSERT_FALSE(steps.heard.empty()) << button;
        EXPECT_EQ(steps.heard.front().event.Phase, IMAGE_STEP_CLEARED) << button;
    }
}

} // namespace

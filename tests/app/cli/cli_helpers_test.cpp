// The command line's own helpers: option values, reading a result window back into its family
// and code, the progress text.
#include "app/cli/option_values.h"
#include "app/cli/progress_meter.h"
#include "app/cli/result_reading.h"

#include "ui/dwl51mmi.h"
#include "ui/dwl52display.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

namespace {

using namespace dwlcli;

TEST(OptionValues, ModesByNumberNameAndImages) {
    EXPECT_EQ(parseMode("5"), 5);
    EXPECT_EQ(parseMode("ALL"), 5);
    EXPECT_EQ(parseMode("binary+ogm+tfs"), 5);
    EXPECT_EQ(parseMode("ogm+tfs"), 4);
    EXPECT_EQ(parseMode("Bin"), 1);
    EXPECT_EQ(parseMode("tfs-ogm"), 3);
    EXPECT_EQ(parseMode("binary+tfs"), 6);
    EXPECT_STREQ(modeName(6), "binary+tfs");
    EXPECT_STREQ(modeName(7), "?");
    EXPECT_EQ(parseMode("7"), -1);
    EXPECT_EQ(parseMode("-1"), -1);
    EXPECT_EQ(parseMode(" 1"), -1);
    EXPECT_EQ(parseMode(""), -1);
    // Every set of images implies the one mode that downloads exactly that set.
    for (int key = 1; key < 8; key++) {
        const bool b = key & 4, o = key & 2, t = key & 1;
        const int mode = modeForImages(b, o, t);
        ASSERT_GE(mode, 0);
        EXPECT_EQ(modeTakesImage(mode, 0), b) << key;
        EXPECT_EQ(modeTakesImage(mode, 1), o) << key;
        EXPECT_EQ(modeTakesImage(mode, 2), t) << key;
    }
    EXPECT_EQ(modeForImages(false, false, false), -1);
}

TEST(OptionValues, SpeedsPortsAndWaitStates) {
    EXPECT_EQ(parseSpeed("0"), 0);
    EXPECT_EQ(parseSpeed("8"), 8);
    EXPECT_EQ(parseSpeed("460800"), 3);
    EXPECT_EQ(parseSpeed("302325"), 8);
    EXPECT_EQ(parseSpeed("9"), -1);
    EXPECT_EQ(parseSpeed("38400 "), -1);
    EXPECT_EQ(parseSpeed("99999999999999"), -1);

    PortChoice port;
    std::string why;
    EXPECT_TRUE(parsePort("com3", &port, &why));
    EXPECT_EQ(port.com, 3);
    EXPECT_TRUE(port.device.empty());
    EXPECT_TRUE(parsePort("/dev/ttyUSB1", &port, &why));
    EXPECT_EQ(port.com, 4);
    EXPECT_EQ(port.device, "/dev/ttyUSB1");
    EXPECT_EQ(portName(port), "/dev/ttyUSB1");
    EXPECT_FALSE(parsePort("5", &port, &why));
    EXPECT_FALSE(parsePort("COM", &port, &why));
    EXPECT_FALSE(parsePort("", &port, &why));

    int counts[4] = {};
    EXPECT_TRUE(parseWaitStates("0,1,2,4", counts));
    EXPECT_EQ(counts[3], 4);
    EXPECT_FALSE(parseWaitStates("0,1,2,3,4", counts));
    EXPECT_FALSE(parseWaitStates("0,1,,3", counts));
    EXPECT_FALSE(parseWaitStates("0,1,2,", counts));
}

// Every window the display shows reads back as the record it was shown for; any other window
// reads as unknown.
TEST(ResultReading, WindowsReadBackAsTheRecordShown) {
    uis_Reset();
    uis_SetLayoutDirectory((std::string(DWL_SOURCE_DIR_DEFAULT) + "/ui").c_str());
    dwl51_1InstallCallbacks();
    const int cases[][2] = {{0, 0},          {1, 0},  {2, 15},  {5, -2},         {6, 4},
                            {6, 0x000A0301}, {8, 21}, {18, 18}, {33, 0x00030041}};
    for (const auto& c : cases) {
        const int panel = dwl52_10DisplayResult(c[0], c[1]);
        ASSERT_GT(panel, 0) << c[0];
        const ReadResult r = readResultWindow(panel, "text");
        EXPECT_TRUE(r.known);
        EXPECT_EQ(r.family, c[0]);
        EXPECT_EQ(r.code, c[1]);
        EXPECT_EQ(r.message, "text");
    }
    const int tfs = dwl52_13DisplayTFSFileErr(2);
    EXPECT_EQ(readResultWindow(tfs, "").family, -1);
    EXPECT_EQ(readResultWindow(dwl52_12DisplayConfigFileErr(5), "").family, 3);
    // A window that is no longer the newest result, or never was one.
    EXPECT_FALSE(readResultWindow(tfs, "").known);
    EXPECT_FALSE(readResultWindow(LoadPanel(0, "mmi.uir", 1), "").known);
    uis_Reset();
}

TEST(ProgressText, PercentRateAndTimeLeft) {
    EXPECT_EQ(ProgressMeter::barText("binary", 500, 1000, 2.0, false),
              "binary  50%  250 B/s  00:02 left");
    EXPECT_EQ(ProgressMeter::barText("ogm", 1000, 1000, 4.0, true),
              "ogm [##############################] 100%  250 B/s  00:00 left");
    // No time passed yet: no rate, no estimate; a count beyond the image is the whole image.
    EXPECT_EQ(ProgressMeter::barText("tfs", 0, 1000, 0.0, false), "tfs   0%  0 B/s  --:-- left");
    EXPECT_EQ(ProgressMeter::barText("tfs", 2000, 1000, 1.0, false),
              "tfs 100%  1000 B/s  00:00 left");
    EXPECT_EQ(ProgressMeter::barText("tfs", 50000000, 100000000, 1.0, false),
              "tfs  50%  50000000 B/s  00:01 left");
    // The end: the mean rate and time of an image that went in, how far one got that stopped.
    EXPECT_EQ(ProgressMeter::finalText("binary", 999, 300000, 84.5, true, false),
              "binary 100%  3550 B/s  in 01:25");
    EXPECT_EQ(ProgressMeter::finalText("binary", 65536, 300000, 20.0, false, false),
              "binary  21%  3277 B/s  stopped");
    EXPECT_EQ(ProgressMeter::finalText("ogm", 0, 0, 0.0, true, false), "ogm 100%  0 B/s  in 00:00");
}

// A slow line: the bytes within a sector move the line at every tenth; the last line is the
// image's mean rate.
TEST(ProgressText, PlainLinesAtEveryTenthAndTheMeanRateLast) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ProgressMeter meter(out, false);
    meter.beginImage("binary", 1000, 0.0);
    for (uint32_t done = 0; done <= 1000; done += 50)
        meter.update(done, done / 100.0);
    meter.update(1000, 11.0); // repeated: nothing more
    meter.finishImage(true, 20.0);
    meter.update(1000, 21.0); // after the end: nothing more
    meter.endImage();
    fclose(out);
    const std::string lines(text, size);
    free(text);
    int count = 0;
    for (char c : lines)
        count += c == '\n';
    EXPECT_EQ(count, 10) << lines;
    EXPECT_EQ(lines.find("binary   0%"), std::string::npos) << lines;
    EXPECT_NE(lines.find("binary  90%  100 B/s  00:01 left\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.substr(lines.rfind("binary")), "binary 100%  50 B/s  in 00:20\n") << lines;
}

} // namespace

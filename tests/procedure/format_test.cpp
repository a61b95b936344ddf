// The TFS ogm procedure's format branch: its log lines, the format panel, the flag, and a
// format that went wrong reported as such.
#include "tests/support/emulated_run.h"

#include "link/dwl12pclib.h"
#include "procedure/dwl3_run.h"
#include "session/dwl_results.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

namespace {

using xfer::EmulatedRun;

const char* const kAllGood[] = {"MakeBadMapTable OK", "Format OK",     "Mount OK",
                                "Setdrv OK",          "Create dir OK", "Flash is Formated!!"};

TEST(FormatBranch, GoodFormatLogsEveryStageAndEndsQuietly) {
    EmulatedRun run({}, true);
    v_Format_Flag = 1;
    sg_DownloadContext.Mode = 3;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(v_Format_Flag, 0);
    int at = run.panel.find("Check the compatibility");
    ASSERT_GE(at, 0);
    for (const char* line : kAllGood) {
        int next = run.panel.find(line, static_cast<size_t>(at));
        EXPECT_EQ(next, at + 1) << line;
        at = next;
    }
    EXPECT_EQ(static_cast<size_t>(at + 1), run.panel.lines.size());
    EXPECT_TRUE(run.handset().tfs().formatted);
    EXPECT_FALSE(run.handset().recording().switchedOff);
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), " ");
    EXPECT_TRUE(run.tfsUntouched() || run.handset().tfs().files.empty());
    // The format panel was shown and is gone.
    EXPECT_EQ(uis_Panel(v_PanelFormat), nullptr);
}

TEST(FormatBranch, SilentHandsetIsAFailedFormat) {
    sim::FaultConfig faults;
    faults.silentFrom = sim::Step::Format;
    EmulatedRun run(faults, true);
    v_Format_Flag = 1;
    sg_DownloadContext.Mode = 3;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 8);
    EXPECT_EQ(r.code, DWL_CODE_FORMAT_FAILED);
    int at = run.panel.find("Check the compatibility");
    for (const char* line :
         {"MakeBadMapTable err", "Flash Formatting is fail!!1", "Flash Formatting is fail!!2",
          "Flash Formatting is fail!!3", "Flash Formatting is fail!!4",
          "Flash format failed : no MakeBadMapTable (0x57) reply"}) {
        int next = run.panel.find(line, static_cast<size_t>(at));
        EXPECT_EQ(next, at + 1) << line;
        at = next;
    }
    EXPECT_FALSE(run.handset().recording().switchedOff);
}

TEST(FormatBranch, SecondCallDownloads) {
    EmulatedRun run({}, true);
    v_Format_Flag = 1;
    sg_DownloadContext.Mode = 3;
    ASSERT_EQ(run.procedure().family, 0);
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 0);
    EXPECT_TRUE(run.tfsHoldsImage());
    EXPECT_TRUE(run.panel.logged("Download TFS_ogm file sector by sector"));
    EXPECT_TRUE(run.panel.logged("The End"));
    EXPECT_TRUE(run.handset().recording().switchedOff);
}

TEST(FormatBranch, OtherDownloadTypeWritesNothing) {
    EmulatedRun run({}, true);
    sg_DownloadContext.Mode = 3;
    sg_DownloadContext.DownloadType = 2;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(run.tfsUntouched());
    EXPECT_TRUE(run.panel.logged("Remove the battery of the mobile "));
}

class FormatReplies : public ::testing::Test {
  protected:
    FormatReplies() : panel(dir) { dwl12_0UartInit(1, 460800, 0, 10); }
    testsupport::ScriptedLine line;
    xfer::TempDir dir;
    xfer::Panel panel;
};

TEST_F(FormatReplies, StageBytesAfterFormatOkAreOptionalInTheLogButNotForTheResult) {
    line.reply({0x57, 0x44, 0x90, 0x22, 0x23, 0x20});
    EXPECT_EQ(dwl3_11FormatFlash(1), DWL_CODE_FORMAT_FAILED);
    EXPECT_EQ(line.written(), (std::vector<uint8_t>{0x10}));
    // The log does not end on the success line: the missing stage is named last.
    std::vector<std::string> expected = {" MakeBadMapTable OK ", " Format OK ",
                                         " Flash is Formated!! ",
                                         " Flash format failed : no Mount (0x91) reply "};
    EXPECT_EQ(panel.lines, expected);
    EXPECT_EQ(line.pending(), 0u);
}

TEST_F(FormatReplies, AllEightRepliesSucceed) {
    line.reply({0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x23, 0x20});
    EXPECT_EQ(dwl3_11FormatFlash(1), 1);
    EXPECT_EQ(panel.lines.size(), 6u);
}

TEST_F(FormatReplies, WrongFirstStageSkipsTheMountReads) {
    line.reply({0x00, 0x45, 0x22, 0x23, 0x21});
    EXPECT_EQ(dwl3_11FormatFlash(1), DWL_CODE_FORMAT_FAILED);
    std::vector<std::string> expected = {" MakeBadMapTable err ", " Flash Formatting is fail!!1 ",
                                         " Flash Formatting is fail!!4 ",
                                         " Flash format failed : no MakeBadMapTable (0x57) reply "};
    EXPECT_EQ(panel.lines, expected);
}

// One stage missing at a time: the last log line names it.
TEST_F(FormatReplies, TheFailureLineNamesTheMissingStage) {
    const struct {
        std::vector<uint8_t> replies;
        const char* stage;
    } rows[] = {
        {{0x57, 0x00, 0x22, 0x23, 0x20}, "Format (0x44)"},
        {{0x57, 0x44, 0x91, 0x00, 0x22, 0x23, 0x20}, "Setdrv (0x92)"},
        {{0x57, 0x44, 0x91, 0x92, 0x00, 0x22, 0x23, 0x20}, "Create dir (0x93)"},
        {{0x57, 0x44, 0x91, 0x92, 0x93, 0x00, 0x23, 0x20}, "stage 0x22"},
        {{0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x00, 0x20}, "stage 0x23"},
        {{0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x23, 0x00}, "Formated (0x20)"},
    };
    for (const auto& r : rows) {
        line.reply(r.replies);
        EXPECT_EQ(dwl3_11FormatFlash(1), DWL_CODE_FORMAT_FAILED) << r.stage;
        ASSERT_FALSE(panel.lines.empty());
        EXPECT_EQ(panel.lines.back(),
                  std::string(" Flash format failed : no ") + r.stage + " reply ");
        EXPECT_EQ(line.pending(), 0u) << r.stage;
    }
}

} // namespace

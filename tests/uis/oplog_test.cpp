// The operator log: " text " lines appended at the end of list box 23, newest selected.
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The counter as the program starts, before any test touches it: the fixture starts each test
// from it, so that a wrong start value shows as lines that never become the visible one.
const int kLinesAtProgramStart = mv_NbCommentLine;

class OperatorLog : public ::testing::Test {
  protected:
    void SetUp() override {
        uis_Reset();
        uis_SetCallbackTable(nullptr, 0);
        testsupport::writeBytes(dir.file("log.uir"),
                                std::string("panel 3 \"Main\" 400 300\n"
                                            "  listbox 23 \"Log\" 0 0 300 200\n"));
        uis_SetLayoutDirectory(dir.path().c_str());
        v_Panel = LoadPanel(0, "log.uir", 3);
        mv_NbCommentLine = kLinesAtProgramStart;
    }
    void TearDown() override {
        uis_Reset();
        uis_SetLayoutDirectory(nullptr);
        v_Panel = 0;
        mv_NbCommentLine = kLinesAtProgramStart;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const UiListItem& item : uis_Control(v_Panel, PANEL_OPERATOR_LOG)->items)
            out.push_back(item.label);
        return out;
    }
    int selected() const { return uis_Control(v_Panel, PANEL_OPERATOR_LOG)->index; }
    testsupport::TempDir dir;
};

TEST_F(OperatorLog, LinesAreBlankFramedAppendedAndSelected) {
    ASSERT_GT(v_Panel, 0);
    dwl50_1AddComment("Booting Loader is Completed!!");
    dwl50_1AddComment("");
    dwl50_2AddCommentF("%d wait state on the chip select %d", 3, 2);
    EXPECT_EQ(lines(), (std::vector<std::string>{" Booting Loader is Completed!! ", "  ",
                                                 " 3 wait state on the chip select 2 "}));
    EXPECT_EQ(mv_NbCommentLine, 3);
    EXPECT_EQ(selected(), 2);
    EXPECT_STREQ(ma_Comment, " 3 wait state on the chip select 2 ");
}

TEST_F(OperatorLog, LongTextIsCutToTheBuffer) {
    const std::string longText(500, 'x');
    dwl50_1AddComment(longText.c_str());
    EXPECT_EQ(strlen(ma_Comment), sizeof ma_Comment - 1);
    EXPECT_EQ(ma_Comment[0], ' ');
    EXPECT_EQ(lines()[0], std::string(" ") + std::string(98, 'x'));
    dwl50_2AddCommentF("%s", longText.c_str());
    EXPECT_EQ(lines()[1].size(), sizeof ma_Comment - 1);
}

// A line that names a file keeps the file's name and what follows it; the path loses its
// beginning when the line has no room for all of it.
TEST_F(OperatorLog, APathTooLongForTheLineLosesItsBeginning) {
    dwl50_3AddCommentPath("Cannot open ", "/tmp/a.bin", ": Is a directory");
    const std::string longPath = "/" + std::string(120, 'd') + "/image.bin";
    dwl50_3AddCommentPath("Cannot open ", longPath.c_str(), ": No such file or directory");
    // A text that leaves no room for a cut path is cut at its end like any line.
    const std::string longBefore(96, 'b');
    dwl50_3AddCommentPath(longBefore.c_str(), "/x/y.bin", "!");
    // Room for the cut mark and one character of the path only: no cut either.
    const std::string before92(92, 'b');
    dwl50_3AddCommentPath(before92.c_str(), "/x/y.bin", "!");
    const std::vector<std::string> shown = lines();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], " Cannot open /tmp/a.bin: Is a directory ");
    const std::string& cut = shown[1];
    EXPECT_EQ(cut.size(), sizeof ma_Comment - 1);
    EXPECT_EQ(cut.rfind(" Cannot open ...", 0), 0u) << cut;
    EXPECT_NE(cut.find("ddd/image.bin: No such file or directory "), std::string::npos) << cut;
    EXPECT_EQ(cut.back(), ' ');
    EXPECT_EQ(shown[2], " " + longBefore + "/x");
    EXPECT_EQ(shown[3], " " + before92 + "/x/y.b");
}

TEST_F(OperatorLog, ObserverSeesEveryLine) {
    std::vector<std::string> seen;
    uis_SetListObserver([&seen](int panel, int control, const char* label) {
        if (panel == v_Panel && control == PANEL_OPERATOR_LOG) seen.push_back(label);
    });
    dwl50_1AddComment("one");
    dwl50_1AddComment("two");
    EXPECT_EQ(seen, (std::vector<std::string>{" one ", " two "}));
}

TEST_F(OperatorLog, NoMainPanelIsHarmless) {
    DiscardPanel(v_Panel);
    dwl50_1AddComment("nobody reads this");
    EXPECT_EQ(mv_NbCommentLine, 1);
    EXPECT_STREQ(ma_Comment, " nobody reads this ");
}

} // namespace

// The Service menu's line trace: chosen once, it traces the following runs into one file until
// it is chosen again.
#include "tests/support/operator_bench.h"

#include "link/line_trace.h"
#include "ui/mmi_ids.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::OperatorBench;

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(LineTraceMenu, TracesTheFollowingRunsUntilChosenAgain) {
    OperatorBench bench;
    bench.emulate();
    bench.choose(MAIN_MODE, 1);
    bench.load(MAIN_BIN_LOAD, bench.writeImage("run.bin", 20000, 5));
    const std::string trace = bench.file("bench.trace");
    uis_PushFileAnswer(trace.c_str(), VAL_NEW_FILE_SELECTED);
    bench.menu(MENU_LINE_TRACE);
    EXPECT_TRUE(dwl12_TraceActive());
    ASSERT_EQ(uis_FileRequests().size(), 2u); // the image's, then the trace's
    EXPECT_EQ(uis_FileRequests()[1].fileType, "*.trace");
    EXPECT_EQ(uis_FileRequests()[1].title, "Line trace");
    EXPECT_TRUE(bench.logged("Line trace on, the following runs go to " + trace));

    for (int run = 0; run < 2; ++run) {
        bench.press(MAIN_START);
        const int success = bench.window("mmi.uir", MMI_PANEL_SUCCESS);
        ASSERT_GT(success, 0);
        bench.pressOk(success);
    }
    bench.menu(MENU_LINE_TRACE); // ends the trace; nothing is asked
    EXPECT_FALSE(dwl12_TraceActive());
    EXPECT_EQ(uis_FileRequests().size(), 2u);
    EXPECT_EQ(bench.lines.back(), " Line trace off ");
    bench.press(MAIN_START);

    const std::vector<uint8_t> bytes = testsupport::readBytes(trace);
    const std::string text(bytes.begin(), bytes.end());
    // Both traced runs, appended; the third is not in the file.
    EXPECT_EQ(count(text, " open "), 2u);
    EXPECT_EQ(count(text, " close "), 2u);
    EXPECT_EQ(count(text, "sector command 0x02000000"), 2u);
}

TEST(LineTraceMenu, AFileThatCannotBeWrittenIsSaidAndNothingIsTraced) {
    OperatorBench bench;
    bench.menu(MENU_LINE_TRACE); // the file popup cancelled: nothing at all
    EXPECT_FALSE(dwl12_TraceActive());
    EXPECT_TRUE(uis_Messages().empty());
    const std::string trace = bench.file("no-such-folder/bench.trace");
    uis_PushFileAnswer(trace.c_str(), VAL_NEW_FILE_SELECTED);
    bench.menu(MENU_LINE_TRACE);
    EXPECT_FALSE(dwl12_TraceActive());
    ASSERT_EQ(uis_Messages().size(), 1u);
    EXPECT_EQ(uis_Messages()[0].title, "Line trace");
    EXPECT_EQ(uis_Messages()[0].text, "Cannot write " + trace + ": No such file or directory");
    EXPECT_TRUE(bench.lines.empty());
}

} // namespace

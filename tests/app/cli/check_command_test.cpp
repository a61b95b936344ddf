// `dwl check` as the operator runs it: output and exit status (needs the dwl program built).
#include "tests/flash/flash_lines.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace flashtest;

namespace {

struct CommandRun {
    int status;
    std::string out;
};

struct CheckCommandTest : ::testing::Test {
    std::string program;
    testsupport::TempDir dir;

    void SetUp() override {
        program = testsupport::binaryDir() + "/app/dwl";
        if (testsupport::binaryDir().empty() || !std::filesystem::exists(program)) {
            GTEST_SKIP() << "the dwl program is not built";
        }
    }
    CommandRun run(const std::string& args) {
        std::string command = "cd '" + dir.path() + "' && '" + program + "' " + args + " 2>&1";
        CommandRun r{-1, ""};
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return r;
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
            r.out.append(chunk, n);
        int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
};

TEST_F(CheckCommandTest, SampleFlashDescriptions) {
    CommandRun r = run("check --flash '" + testsupport::sourceDir() + "/examples/flash.txt'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("result 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"28F128W18T\" manufacturer 0x89 device 0x18"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("263 sectors, 16777216 bytes (0x01000000)"), std::string::npos) << r.out;
}

TEST_F(CheckCommandTest, MalformedFlashFileGivesItsCode) {
    auto lines = join(smallBlock(1, 1), smallBlock(2, 2));
    lines[13 + kDeviceId] = "DEVICE_ID 2";
    testsupport::writeCrLfFile(dir.file("flash.txt"), lines);
    CommandRun r = run("check --flash flash.txt");
    // Whatever its line, a malformed flash.txt is the flash-description status.
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("result 8: FLASH DESCRIPTION : Problem with parameter DEVICE_ID in "
                         "the file flash.txt"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("descriptions: 2"), std::string::npos) << r.out;

    testsupport::writeBytes(dir.file("junk.txt"), std::string(20000, '\0') + "NEW_FLASH\n");
    EXPECT_EQ(run("check --flash junk.txt").status, 2);
    // A file that describes no flash reads without error, yet no run could use it.
    testsupport::writeBytes(dir.file("empty.txt"), std::string());
    testsupport::writeCrLfFile(dir.file("comments.txt"), {"# no flash yet", ""});
    for (const char* file : {"empty.txt", "comments.txt"}) {
        r = run(std::string("check --flash ") + file);
        EXPECT_EQ(r.status, 2) << file << "\n" << r.out;
        EXPECT_NE(r.out.find("error: no flash is described"), std::string::npos) << r.out;
    }
    r = run("check --flash missing.txt");
    EXPECT_EQ(r.status, 66);
    EXPECT_NE(r.out.find("dwl: cannot read missing.txt: No such file or directory"),
              std::string::npos)
        << r.out;
    // A pipe is refused before it is opened: opening it would wait for a writer.
    ASSERT_EQ(mkfifo(dir.file("pipe.txt").c_str(), 0600), 0);
    r = run("check --flash pipe.txt");
    EXPECT_EQ(r.status, 66);
    EXPECT_NE(r.out.find("dwl: cannot read pipe.txt: not a regular file"), std::string::npos)
        << r.out;
}

// What real descriptions use passes: regions of several sector sizes, lines that overwrite
// earlier ones. A size no flash has is refused with its line; sectors no line describes and a
// total that is no power of two are warnings.
TEST_F(CheckCommandTest, SectorSizesNoFlashHasAreRefusedWithTheirLine) {
    struct Case {
        std::vector<std::string> sectorLines;
        int sectors;
        int status;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {{"0-7*8192*0", "8-10*8192*1", "8-10*65536*1"}, 11, 0, {}},
        {{"0-3*8192*0", "4*65536*0", "0-3*6553*0"},
         5,
         2,
         {"line 12: sector size 6553 is not a power of two"}},
        {{"0-1*0*0"}, 2, 2, {"line 10: sector size 0 is not a power of two"}},
        // A typo overwritten later is a typo all the same.
        {{"0-1*6553*0", "0-1*65536*0"}, 2, 2, {"line 10: sector size 6553"}},
        {{"0-1*65536*0", "3*65536*0"},
         4,
         0,
         {"warning: no line describes sector 2\n", "warning: the sectors add up to 196608 bytes"}},
        {{"0*65536*0"}, 4, 0, {"warning: no line describes sectors 1 to 3\n"}},
    };
    for (const Case& c : cases) {
        testsupport::writeCrLfFile(dir.file("flash.txt"),
                                   flashBlock("A", "B", 1, 2, c.sectors, c.sectorLines));
        const CommandRun r = run("check --flash flash.txt");
        EXPECT_EQ(r.status, c.status) << c.sectorLines[0] << "\n" << r.out;
        for (const std::string& text : c.said)
            EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
        if (c.said.empty()) {
            EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
        }
    }
}

TEST_F(CheckCommandTest, SampleTfsImage) {
    CommandRun r = run("check --tfs '" + testsupport::sourceDir() + "/examples/sample.tfs'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sample.cfg"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the size matches"), std::string::npos) << r.out;
}

TEST_F(CheckCommandTest, TfsImageOfTheWrongSize) {
    testsupport::writeCrLfFile(dir.file("soft.cfg"),
                               {"TFSVERSION : V", "NUM_DIR : 1", "MAXFILES : 2", "SET_DIR",
                                "DIR_NAME : /d", "END_DIR", "SET_FILE", "FILE_NAME : /d/f",
                                "FILE_SIZE : 100", "END_FILE", "END_TFS"});
    testsupport::writeBytes(dir.file("soft.tfs"), std::string(99, 'x'));
    CommandRun r = run("check --tfs soft.tfs");
    EXPECT_EQ(r.status, 18) << r.out;
    EXPECT_NE(r.out.find("(Available size=100(0x00000064))"), std::string::npos) << r.out;
    testsupport::writeBytes(dir.file("soft.tfs"), std::string(100, 'x'));
    EXPECT_EQ(run("check --tfs soft.tfs").status, 0);
}

TEST_F(CheckCommandTest, MalformedTfsDescriptionGivesItsCode) {
    testsupport::writeCrLfFile(dir.file("soft.cfg"), {"TFSVERSION : V", "NUM_DIR : 0"});
    testsupport::writeBytes(dir.file("soft.tfs"), std::string());
    CommandRun r = run("check --tfs soft.tfs");
    EXPECT_EQ(r.status, 40);
    EXPECT_NE(r.out.find("Problem with parameter NUM_DIR"), std::string::npos) << r.out;
    EXPECT_EQ(run("check --tfs none.tfs").status, 66);
    testsupport::writeBytes(dir.file("lonely.tfs"), std::string(10, 'x'));
    EXPECT_EQ(run("check --tfs lonely.tfs").status, 40);
}

TEST_F(CheckCommandTest, NeedsAFileToCheck) {
    EXPECT_NE(run("check").status, 0);
}

} // namespace

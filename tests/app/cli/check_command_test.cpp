// `dwl check` as the operator runs it: output and exit status (needs the dwl program built).
#include "tests/flash/flash_lines.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

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
    EXPECT_EQ(r.status, 8);
    EXPECT_NE(r.out.find("result 8: FLASH DESCRIPTION : Problem with parameter DEVICE_ID in "
                         "the file flash.txt"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("descriptions: 2"), std::string::npos) << r.out;

    testsupport::writeBytes(dir.file("junk.txt"), std::string(20000, '\0') + "NEW_FLASH\n");
    EXPECT_EQ(run("check --flash junk.txt").status, 3);
    r = run("check --flash missing.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("The file flash.txt not found"), std::string::npos) << r.out;
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
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.out.find("Problem with parameter NUM_DIR"), std::string::npos) << r.out;
    EXPECT_EQ(run("check --tfs none.tfs").status, 2);
}

TEST_F(CheckCommandTest, NeedsAFileToCheck) {
    EXPECT_NE(run("check").status, 0);
}

} // namespace

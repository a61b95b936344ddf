// Bad input to the dwl program: each case ends with a clear message and its documented exit
// status, never a crash or a hang.
#include "tests/app/cli/dwl_program.h"
#include "tests/flash/flash_lines.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>

using clitest::examples;
using clitest::quoted;
using clitest::runDwl;
using clitest::sample;

namespace {

struct Case {
    std::string args;
    int status;
    std::string message;
};

void expectAll(const std::vector<Case>& cases, const std::string& cwd = "") {
    for (const Case& c : cases) {
        const clitest::Run run = runDwl(c.args, cwd);
        EXPECT_EQ(run.status, c.status) << "dwl " << c.args << "\n" << run.out << run.err;
        EXPECT_TRUE(run.has(c.message)) << "dwl " << c.args << "\n" << run.out << run.err;
    }
}

TEST(BadCommandLine, UsageErrorsExit64) {
    const std::string bin = " --bin " + sample("sample.bin");
    expectAll({
        {"", 64, "It runs from a command prompt"},
        {"/?", 0, "Subcommands:"}, // help, as the system's own commands give it
        {"flash --no-such-option" + bin, 64, "--no-such-option"},
        {"frobnicate", 64, "A subcommand is required"},
        {"flash --sim", 64, "nothing to download"},
        {"flash --sim --mode 7" + bin, 64, "unknown mode \"7\""},
        {"flash --sim --mode turbo" + bin, 64, "the modes are 0 binary+ogm"},
        {"flash --sim --mode ogm" + bin, 64, "mode 2 (ogm) does not download a binary image"},
        {"flash --sim --speed 9600" + bin, 64, "unknown speed \"9600\""},
        {"flash --sim --speed fast" + bin, 64, "unknown speed"},
        {"flash --sim --model 3" + bin, 64, "--model takes 0 to 2"},
        {"flash --sim --pmu 2" + bin, 64, "--pmu takes 0 to 1"},
        {"flash --sim --product-type -1" + bin, 64, "--product-type takes 0 to 2"},
        {"flash --sim --download-type 5" + bin, 64, "--download-type takes 0 to 4"},
        {"flash --sim --wait-states 1,2,3" + bin, 64, "--wait-states takes four counts"},
        {"flash --sim --wait-states 0,0,0,5" + bin, 64, "--wait-states takes four counts"},
        {"flash --sim --sim-silent-from Nowhere" + bin, 64, "unknown step Nowhere"},
        {"flash --port 0" + bin, 64, "unknown port 0"},
        {"flash --port COM9" + bin, 64, "unknown port COM9"},
        {"flash --port ttyUSB0" + bin, 64, "give a COM number 1 to 4 or a device path"},
        {"flash --sim --port 1 --port COM1" + bin, 64, "port COM1 is given twice"},
        {"flash --sim -p /dev/null -p /dev/../dev/null" + bin, 64,
         "port /dev/../dev/null is given twice (as /dev/null)"},
        {"station" + bin, 64, "--port is required"},
        {"station -p 1 -p COM1" + bin, 64, "port COM1 is given twice"},
        {"station -p /dev/null -p /dev/../dev/null" + bin, 64,
         "port /dev/../dev/null is given twice (as /dev/null)"},
        {"station -p 2 --mode ogm" + bin, 64, "mode 2 (ogm) does not download a binary image"},
        {"results --since 8x", 64, "--since takes a date and time"},
    });
}

// The help of the commands that record or read runs names both places runs can be.
TEST(BadCommandLine, HelpNamesTheFileAndTheServerForm) {
    expectAll({
        {"station --help", 0, "the SQLite results file (default results.sqlite"},
        {"station --help", 0, "postgresql://USER@HOST/DB"},
        {"results --help", 0, "the SQLite results file (default results.sqlite"},
        {"results --help", 0, "postgresql://USER@HOST/DB"},
    });
}

// A station refuses to start, before any port does, on what no run could get past.
TEST(BadCommandLine, AStationChecksEveryRunsNeedsFirst) {
    testsupport::TempDir dir;
    testsupport::TempDir empty;
    testsupport::TempDir noBootstrap;
    testsupport::writeBytes(noBootstrap.file("flash.txt"),
                            testsupport::readBytes(examples() + "/flash.txt"));
    const std::string port = " -p " + quoted(examples() + "/flash.txt"); // exists: a "device"
    const std::string bin = " --bin " + sample("sample.bin");
    const std::string results = " --results " + quoted(dir.file("r.sqlite"));
    testsupport::writeBytes(dir.file("flash.txt"), std::string("NEW_FLASH\r\n"));
    expectAll({
        {"station" + port + " --bin " + quoted(dir.file("none.bin")) + results, 66,
         "cannot read the binary image"},
        {"station" + port + bin + " --results " + quoted(dir.file("no/r.sqlite")), 66,
         "cannot record runs in"},
        {"station" + port + bin + results + " -C " + quoted(dir.path()), 2, "FLASH DESCRIPTION"},
        {"station" + port + bin + results + " -C " + quoted(empty.path()), 2,
         "The file flash.txt not found"},
        {"station" + port + bin + results + " -C " + quoted(noBootstrap.path()), 5,
         "dwl87.spm: No such file or directory"},
    });
    // A database written by a later version of the schema is neither read nor written.
    const std::string newer = dir.file("newer.sqlite");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(newer.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    expectAll({
        {"results --db " + quoted(newer), 66, "schema version 3 is newer"},
        {"station" + port + bin + " --results " + quoted(newer), 66, "schema version 3 is newer"},
    });
}

TEST(BadCommandLine, MissingFilesAndDevicesExit66) {
    testsupport::TempDir dir;
    // A pipe for every file read whole: refused before it is opened, which would wait for a
    // writer.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const std::string pipe = quoted(dir.file("pipe"));
    testsupport::TempDir work;
    for (const char* file : {"dwl87.spm", "dwl88.spm"})
        testsupport::writeBytes(work.file(file), testsupport::readBytes(examples() + "/" + file));
    ASSERT_EQ(mkfifo(work.file("flash.txt").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.tfs").c_str(), 0600), 0);
    const std::string tfs = dir.file("image.tfs");
    testsupport::writeBytes(tfs, testsupport::readBytes(examples() + "/sample.tfs"));
    ASSERT_EQ(mkfifo(dir.file("image.cfg").c_str(), 0600), 0);
    expectAll({
        {"flash --sim --bin " + pipe, 66,
         "cannot read the binary image " + dir.file("pipe") + ": not a regular file"},
        {"flash --sim --tfs " + quoted(dir.file("pipe.tfs")), 66, "not a regular file"},
        {"flash --sim --config " + pipe, 66, "cannot read the settings file"},
        {"flash --sim --sim-flash " + pipe + " --bin " + sample("sample.bin"), 66,
         "not a regular file"},
        {"flash --sim -C " + quoted(work.path()) + " --bin " + sample("sample.bin"), 2,
         "FLASH DESCRIPTION : The file flash.txt not found"},
        {"flash --sim --tfs " + quoted(tfs), 40, "TFS DESCRIPTION"},
    });
    expectAll({
        {"flash --sim --bin " + quoted(dir.file("none.bin")), 66,
         "cannot read the binary image " + dir.file("none.bin") + ": no such file"},
        {"flash --sim --ogm " + quoted(dir.path()), 66, "it is a folder"},
        {"flash --sim --config " + quoted(dir.file("config.txt")), 66,
         "cannot read the settings file"},
        {"flash --port /dev/dwl-no-such-port --bin " + sample("sample.bin"), 66,
         "no serial device /dev/dwl-no-such-port"},
        {"flash --sim --workdir " + quoted(dir.file("gone")) + " --bin " + sample("sample.bin"), 66,
         "no folder"},
        {"flash --sim --log " + quoted(dir.file("gone/x.log")) + " --bin " + sample("sample.bin"),
         66, "cannot write"},
    });
}

TEST(BadFiles, MalformedDescriptionsGiveTheirWindowsMessage) {
    testsupport::TempDir dir;
    // A TFS image of the right size without any description beside it.
    testsupport::writeBytes(dir.file("lonely.tfs"),
                            testsupport::readBytes(examples() + "/sample.tfs"));
    // A TFS image one byte short of its description.
    std::vector<uint8_t> shortImage = testsupport::readBytes(examples() + "/sample.tfs");
    shortImage.pop_back();
    testsupport::writeBytes(dir.file("short.tfs"), shortImage);
    testsupport::writeBytes(dir.file("short.cfg"),
                            testsupport::readBytes(examples() + "/sample.cfg"));
    // Settings files with a bad COM value and a missing key.
    testsupport::writeCrLfFile(dir.file("com5.txt"),
                               {"CLA File : " + examples() + "/sample.bin", "COM : 5", "PMU : 0",
                                "Product Type : 2", "Download Type : 0"});
    testsupport::writeCrLfFile(dir.file("nokey.txt"), {"CLA File : " + examples() + "/sample.bin",
                                                       "COM : 1", "Product Type : 2"});
    testsupport::writeBytes(dir.file("garbage.txt"), std::string("\x7f"
                                                                 "ELF\x02\x01\r\n",
                                                                 8));
    const std::string bin = " --bin " + sample("sample.bin");
    expectAll({
        {"flash --sim --tfs " + quoted(dir.file("lonely.tfs")), 40,
         "TFS DESCRIPTION : The file tfs.cfg not found"},
        {"flash --sim --tfs " + quoted(dir.file("short.tfs")), 18,
         "The size of the TFS OGM File is Wrong"},
        {"flash --sim --config " + quoted(dir.file("com5.txt")), 3,
         "The com number in configuration file is not rigth "},
        {"flash --sim --config " + quoted(dir.file("nokey.txt")), 3,
         "Bad PMU description in configuration file "},
        // The window's text does not name the file: a log line does.
        {"flash --sim --config " + quoted(dir.file("garbage.txt")), 3,
         "result: Impossible to find the sofware file  (family 3, code 3, exit 3)"},
        {"flash --sim --config " + quoted(dir.file("garbage.txt")), 3,
         "Cannot restore the settings of " + dir.file("garbage.txt") + "\n"},
        // The mode needs an ogm image that was not given: the start refuses.
        {"flash --sim --mode 0" + bin, 41, "DOWNLOAD: Please load a ogm file before start"},
    });
    // The operator log says what went wrong with the TFS image.
    const clitest::Run run = runDwl("flash --sim --tfs " + quoted(dir.file("short.tfs")));
    EXPECT_TRUE(run.has("ERROR : The size of the TFS OGM File is Wrong"));
    EXPECT_TRUE(run.has("File size=85597(0x00014e5d)"));
}

// A flash.txt error refuses every run before anything goes to the handset: the panel would go
// on with the blocks read before the error, the last of them described only in part.
TEST(BadFiles, FlashDescriptionErrorRefusesTheRun) {
    testsupport::TempDir partial;
    testsupport::TempDir none;
    for (const testsupport::TempDir* dir : {&partial, &none})
        for (const char* program : {"dwl87.spm", "dwl88.spm"})
            testsupport::writeBytes(dir->file(program),
                                    testsupport::readBytes(examples() + "/" + program));
    // Cut inside the sector lines of the chip the emulated handset has.
    std::vector<uint8_t> text = testsupport::readBytes(examples() + "/flash.txt");
    const std::string cut = "16-31*65536*1\r\n";
    const auto at = std::search(text.begin(), text.end(), cut.begin(), cut.end());
    ASSERT_NE(at, text.end());
    text.erase(at, text.end());
    testsupport::writeBytes(partial.file("flash.txt"), text);
    const std::string bin = " --bin " + sample("sample.bin");

    for (const std::string command : {"flash", "boot", "format"}) {
        const std::string args = command == "flash" ? bin : "";
        const clitest::Run cut =
            runDwl(command + " --sim --workdir " + quoted(partial.path()) + args);
        EXPECT_EQ(cut.status, 2) << cut.out << cut.err;
        EXPECT_TRUE(cut.has("dwl: FLASH DESCRIPTION : Problem with parameter END_FLASH in the "
                            "file flash.txt (in " +
                            partial.path() + ")"))
            << cut.err;
        EXPECT_FALSE(cut.has("Please switch on the mobile")) << command;
    }
    const clitest::Run missing = runDwl("flash --sim --workdir " + quoted(none.path()) + bin);
    EXPECT_EQ(missing.status, 2) << missing.out << missing.err;
    EXPECT_TRUE(missing.has("dwl: FLASH DESCRIPTION : The file flash.txt not found"));
    EXPECT_FALSE(missing.has("Please switch on the mobile"));

    // What reads without error but no flash could take: a flash.txt without a flash, an image
    // larger than every flash described (two sectors of 64 KB here).
    struct Case {
        std::vector<std::string> lines;
        std::string image, said;
    };
    testsupport::TempDir small;
    const std::string big = small.file("big.bin");
    testsupport::writeBytes(big, std::string(131073, '\x11'));
    const Case cases[] = {
        {{},
         sample("sample.bin"),
         "describes no flash: FLASH DESCRIPTION : The flash id is not known"},
        {{"# the chips come later", ""}, sample("sample.bin"), "describes no flash"},
        {flashtest::flashBlock("A", "B", 1, 2, 2, {"0-1*65536*0"}), quoted(big),
         "the binary image " + big + " (131073 bytes) is larger than every flash flash.txt (in " +
             none.path() +
             ") describes (at most 131072 bytes): FLASH DESCRIPTION : Not enough sector"},
    };
    for (const Case& c : cases) {
        testsupport::writeCrLfFile(none.file("flash.txt"), c.lines);
        const clitest::Run r =
            runDwl("flash --sim --workdir " + quoted(none.path()) + " --bin " + c.image);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_TRUE(r.has(c.said)) << r.err;
        EXPECT_FALSE(r.has("Please switch on the mobile")) << r.out;
    }
}

// Every file of a run's record is checked to its close: a run that succeeded but could not
// write its record says which file and why, and ends with 74; a failed run keeps its status.
TEST(BadFiles, ARecordThatCannotBeWrittenIsSaidWithItsOwnStatus) {
    const std::string bin = " --bin " + sample("sample.bin");
    expectAll({
        {"flash --sim --log /dev/full" + bin, 74,
         "dwl: the log /dev/full is incomplete: No space left on device"},
        {"flash --sim --trace /dev/full" + bin, 74,
         "dwl: the trace /dev/full is incomplete: No space left on device"},
        {"boot --sim --trace /dev/full", 74, "dwl: the trace /dev/full is incomplete"},
        {"flash --sim --json" + bin + " >/dev/full", 74,
         "dwl: the JSON summary could not be written: No space left on device"},
        {"flash --sim --port 1 --port 2 --json" + bin + " >/dev/full", 74,
         "dwl: the JSON summary could not be written: No space left on device"},
        {"flash --sim --sim-silent-from WakeUp --log /dev/full" + bin, 6,
         "dwl: the log /dev/full is incomplete"},
    });
}

// A typo in a sector size (6553 for 65536) is refused before any sector goes to that chip, with
// the line named; the other chips of the same flash.txt are still written.
TEST(BadFiles, ASectorSizeNoFlashHasRefusesTheRunsOnThatChip) {
    testsupport::TempDir dir;
    for (const char* program : {"dwl87.spm", "dwl88.spm"})
        testsupport::writeBytes(dir.file(program),
                                testsupport::readBytes(examples() + "/" + program));
    std::vector<uint8_t> text = testsupport::readBytes(examples() + "/flash.txt");
    const std::string good = "\n0-15*65536*0\r\n";
    const auto at = std::search(text.begin(), text.end(), good.begin(), good.end());
    ASSERT_NE(at, text.end());
    text.erase(at + 10, at + 11); // 65536 becomes 6553
    testsupport::writeBytes(dir.file("flash.txt"), text);
    const std::string run =
        "--sim --sim-flash " + sample("flash.txt") + " --workdir " + quoted(dir.path());
    const std::string bin = " --bin " + sample("sample.bin");
    const std::string named = "FLASH DESCRIPTION : line 17 of flash.txt: sector size 6553 is not "
                              "a power of two";
    for (const std::string& command : {"flash " + run + bin, "boot " + run}) {
        const clitest::Run r = runDwl(command);
        EXPECT_EQ(r.status, 2) << command << "\n" << r.out << r.err;
        EXPECT_TRUE(r.has(named)) << r.out;
        EXPECT_TRUE(r.has("FLASH DESCRIPTION : A sector size is not a power of two")) << r.out;
        EXPECT_FALSE(r.has("sector by sector")) << r.out;
    }
    // 28F320C3B, the next block, is described well.
    const clitest::Run other = runDwl("flash " + run + " --sim-device 0xC5" + bin);
    EXPECT_EQ(other.status, 0) << other.out << other.err;
    EXPECT_FALSE(other.has(named));
}

TEST(BadFiles, HandsetProgramsMissingOrTooLong) {
    testsupport::TempDir noPrograms;
    testsupport::TempDir longProgram;
    for (const testsupport::TempDir* dir : {&noPrograms, &longProgram})
        testsupport::writeBytes(dir->file("flash.txt"),
                                testsupport::readBytes(examples() + "/flash.txt"));
    testsupport::writeBytes(longProgram.file("dwl87.spm"), std::string(70000, '\x5a'));
    const std::string bin = " --bin " + sample("sample.bin");
    expectAll({
        {"flash --sim --workdir " + quoted(noPrograms.path()) + bin, 5,
         "result: LIB_PC : File not found (family 5, code 3, exit 5)"},
        {"flash --sim --workdir " + quoted(longProgram.path()) + bin, 5,
         "LIB_PC : The size of the SPM is too long"},
    });
}

TEST(BadFiles, EmptyAndOddImagesAreHandled) {
    testsupport::TempDir dir;
    testsupport::writeBytes(dir.file("empty.bin"), std::string());
    testsupport::writeBytes(dir.file("odd.ogm"), std::string(1001, '\x01'));
    // An empty image has nothing to write: its load is refused, naming it, and no run starts.
    const clitest::Run empty = runDwl("flash --sim --bin " + quoted(dir.file("empty.bin")));
    EXPECT_EQ(empty.status, 5) << empty.out << empty.err;
    EXPECT_TRUE(empty.has("Not loaded, the file is empty: " + dir.file("empty.bin")));
    EXPECT_TRUE(empty.has("result: LIB_PC : The image file is empty (family 5, code 6, exit 5)"));
    EXPECT_FALSE(empty.has("Please switch on the mobile")) << empty.out;
    // An odd ogm image goes padded to an even size; the file size is reported.
    const clitest::Run odd = runDwl("flash --sim --json --ogm " + quoted(dir.file("odd.ogm")));
    EXPECT_EQ(odd.status, 0) << odd.err;
    const nlohmann::json summary = odd.json();
    EXPECT_EQ(summary["images"][0]["size"], 1001);
    EXPECT_EQ(summary["bytes_written"], 1002);
}

} // namespace

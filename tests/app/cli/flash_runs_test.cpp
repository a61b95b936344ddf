// Whole commands of the dwl program against the emulated handset: what a run prints, its JSON
// summary, its log file, the modes the images imply, settings files, several ports at once,
// boot only, format, the demo and the handset program.
#include "app/cli/port_fanout.h"
#include "app/cli/run_signals.h"
#include "tests/app/cli/dwl_program.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include <csignal>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using clitest::examples;
using clitest::quoted;
using clitest::runDwl;
using clitest::sample;

namespace {

uint32_t byteSum(const std::string& path) {
    uint32_t sum = 0;
    for (uint8_t b : testsupport::readBytes(path))
        sum += b;
    return sum;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FlashRun, WritesAllThreeImagesAndEndsWithTheSuccessWindow) {
    const clitest::Run run =
        runDwl("flash --sim --mode 5 --speed 460800 --bin " + sample("sample.bin") + " --ogm " +
               sample("sample.ogm") + " --tfs " + sample("sample.tfs"));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // The operator log, line by line, without the blanks that frame each line.
    EXPECT_NE(run.out.find("\nDownload binary sector by sector\n"), std::string::npos);
    EXPECT_TRUE(run.has("Finished TFS OGM Downloading.."));
    EXPECT_TRUE(run.has("> Please switch on the mobile"));
    // Not a terminal: plain progress lines at every tenth, each image to 100 % and its mean rate
    // (the wire's, less the handset's turnarounds).
    EXPECT_TRUE(run.has("\nbinary  10%"));
    for (const char* image : {"binary 100%", "ogm    100%", "tfs    100%"}) {
        const size_t at = run.out.find(image);
        ASSERT_NE(at, std::string::npos) << image;
        unsigned rate = 0;
        EXPECT_EQ(sscanf(run.out.c_str() + at + 11, "  %u B/s  in 00:%*u\n", &rate), 1) << image;
        EXPECT_GT(rate, 30000u) << image;
        EXPECT_LE(rate, 46080u) << image;
    }
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    // The last line is the result window's message.
    EXPECT_NE(run.out.rfind("result: Download successful\n"), std::string::npos);
    EXPECT_EQ(run.out.substr(run.out.size() - 28), "result: Download successful\n");
}

TEST(FlashRun, JsonSummaryNamesResultFlashImagesAndRate) {
    const clitest::Run run = runDwl("flash --sim --json --bin " + sample("sample.bin") + " --ogm " +
                                    sample("sample.ogm") + " --tfs " + sample("sample.tfs"));
    ASSERT_EQ(run.status, 0) << run.err;
    // Only the summary goes to standard output; the log goes to standard error.
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
    EXPECT_TRUE(run.err.find("Download binary sector by sector") != std::string::npos);
    const nlohmann::json j = run.json();
    ASSERT_FALSE(j.is_discarded()) << run.out;
    EXPECT_EQ(j["exit_status"], 0);
    EXPECT_EQ(j["result"],
              nlohmann::json({{"family", 0}, {"code", 0}, {"message", "Download successful"}}));
    EXPECT_EQ(j["mode"], 5);
    EXPECT_EQ(j["flash"]["manufacturer_id"], 137);
    EXPECT_EQ(j["flash"]["device_id"], 24);
    ASSERT_EQ(j["images"].size(), 3u);
    EXPECT_EQ(j["images"][0]["kind"], "binary");
    EXPECT_EQ(j["images"][0]["size"], 300000);
    EXPECT_EQ(j["images"][0]["byte_sum"], byteSum(examples() + "/sample.bin"));
    // The ogm image's size is the file's, its byte sum runs over the padded image.
    EXPECT_EQ(j["images"][1]["size"], 102401);
    EXPECT_EQ(j["images"][2]["size"], 85598);
    EXPECT_EQ(j["images"][2]["byte_sum"], byteSum(examples() + "/sample.tfs"));
    // Held sizes: the odd ogm image goes as 102402 bytes.
    EXPECT_EQ(j["bytes_written"], 488000);
    EXPECT_GT(j["bytes_per_second"], 0.0);
}

TEST(FlashRun, JsonSummaryStaysUtf8ForALatin1FileName) {
    testsupport::TempDir dir;
    const std::string path = dir.file("caf\xe9.bin"); // "café" in Latin-1
    testsupport::writeBytes(path, std::string(1000, '\x5a'));
    const clitest::Run run = runDwl("flash --sim --json --bin " + quoted(path));
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = run.json();
    ASSERT_FALSE(j.is_discarded()) << run.out;
    // The byte that is not UTF-8 becomes U+FFFD.
    EXPECT_EQ(j["images"][0]["path"], dir.file("caf\xef\xbf\xbd.bin"));
}

TEST(FlashRun, ImagesImplyTheMode) {
    struct Case {
        std::string images;
        int mode;
    };
    const Case cases[] = {
        {"--ogm " + sample("sample.ogm"), 2},
        {"--tfs " + sample("sample.tfs"), 3},
        {"--ogm " + sample("sample.ogm") + " --tfs " + sample("sample.tfs"), 4},
        {"--bin " + sample("sample.bin") + " --tfs " + sample("sample.tfs"), 6},
    };
    for (const Case& c : cases) {
        const clitest::Run run = runDwl("flash --sim --json " + c.images);
        EXPECT_EQ(run.status, 0) << c.images << run.err;
        EXPECT_EQ(run.json()["mode"], c.mode) << c.images << run.out;
    }
    // A mode by name.
    const clitest::Run named = runDwl("flash --sim --json --mode binary+ogm --bin " +
                                      sample("sample.bin") + " --ogm " + sample("sample.ogm"));
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.json()["mode"], 0);
}

TEST(FlashRun, LogFileHoldsEveryLineWithATimestamp) {
    testsupport::TempDir dir;
    const clitest::Run run = runDwl("flash --sim --bin " + sample("sample.bin") + " --log " +
                                    quoted(dir.file("run.log")));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string log = readText(dir.file("run.log"));
    EXPECT_NE(log.find("  Download binary sector by sector\n"), std::string::npos);
    EXPECT_NE(log.find("  The end\n"), std::string::npos);
    // "YYYY-MM-DD HH:MM:SS.mmm  text"
    ASSERT_GT(log.size(), 25u);
    EXPECT_EQ(log[4], '-');
    EXPECT_EQ(log[10], ' ');
    EXPECT_EQ(log[19], '.');
    EXPECT_EQ(log.substr(23, 2), "  ");
}

// --results: each run a row, the failure as it ended; a database that cannot be made is refused
// before the handset is touched. dwl results reads it back.
TEST(FlashRun, ResultsRecordEachRunAndReadBack) {
    testsupport::TempDir dir;
    const std::string db = quoted(dir.file("runs.sqlite"));
    const std::string image = " --bin " + sample("sample.bin");
    EXPECT_EQ(runDwl("flash --sim" + image + " --results " + db).status, 0);
    const clitest::Run failed = runDwl("flash --sim --sim-wrong-reply SectorAck --trace " +
                                       quoted(dir.file("t")) + image + " --results " + db);
    EXPECT_EQ(failed.status, 11) << failed.err;
    const clitest::Run refused =
        runDwl("flash --sim" + image + " --results " + quoted(dir.file("no/such/runs.sqlite")));
    EXPECT_EQ(refused.status, 66);
    EXPECT_TRUE(refused.has("cannot record runs in")) << refused.err;
    EXPECT_FALSE(refused.has("Booting")) << refused.out;

    const clitest::Run csv = runDwl("results --csv --db " + db);
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::vector<std::string> lines;
    std::istringstream in(csv.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << csv.out;
    EXPECT_EQ(lines[0].rfind("run_id,started_at,ended_at,station,port,device,mode,", 0), 0u);
    EXPECT_NE(lines[1].find(",COM4,emulated handset,1,binary,460800,"), std::string::npos);
    EXPECT_NE(lines[1].find(",300000,"), std::string::npos);
    EXPECT_NE(lines[2].find(",11,172,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(dir.file("t")), std::string::npos) << lines[2];
    const clitest::Run report = runDwl("results --since 1h --port COM4 --db " + db);
    EXPECT_NE(report.out.find("total                           2      1      1         0   50.0 %"),
              std::string::npos)
        << report.out;
    EXPECT_EQ(runDwl("results --since yesterday --db " + db).status, 64);
    EXPECT_EQ(runDwl("results --db " + quoted(dir.file("none.sqlite"))).status, 66);
}

TEST(FlashRun, SettingsFileOfAnyNameRestoresTheBinaryImageAndOptions) {
    testsupport::TempDir dir;
    testsupport::writeCrLfFile(dir.file("line3.cfg"),
                               {"* ***********************", "* Configuration save file",
                                "* ***********************",
                                "CLA File : " + examples() + "/sample.bin", "COM : 2", "PMU : 0",
                                "Product Type : 2", "Download Type : 0"});
    const clitest::Run run = runDwl("flash --sim --json --config " + quoted(dir.file("line3.cfg")));
    EXPECT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = run.json();
    EXPECT_EQ(j["port"], "COM2");
    EXPECT_EQ(j["mode"], 1);
    EXPECT_EQ(j["images"][0]["size"], 300000);
    // The restore read the file under its own name: nothing was left in the working folder.
    EXPECT_FALSE(testsupport::readBytes(examples() + "/config.txt").size() > 0);

    // A relative image path is taken from the working folder, wherever dwl was started.
    testsupport::writeCrLfFile(
        dir.file("relative.cfg"),
        {"CLA File : sample.bin", "COM : 1", "PMU : 0", "Product Type : 2", "Download Type : 0"});
    const clitest::Run relative = runDwl("flash --sim --json --workdir " + quoted(examples()) +
                                             " --config " + quoted(dir.file("relative.cfg")),
                                         dir.path());
    EXPECT_EQ(relative.status, 0) << relative.err;
    EXPECT_EQ(relative.json()["images"][0]["size"], 300000);
}

TEST(FlashRun, DownloadTypeOtherThanZeroWritesOnlyTheTfsImageOfModeFour) {
    const clitest::Run run = runDwl("flash --sim --download-type 2 --bin " + sample("sample.bin"));
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(run.has("result: Error during the download (family 1, code 0, exit 1)"));
    // Mode 4 writes its TFS image whatever the download type, and reports it.
    const std::string images = " --ogm " + sample("sample.ogm") + " --tfs " + sample("sample.tfs");
    const clitest::Run json = runDwl("flash --sim --json --download-type 1" + images);
    EXPECT_EQ(json.status, 0) << json.out << json.err;
    EXPECT_EQ(json.json()["bytes_written"], 85598);
    const clitest::Run text = runDwl("flash --sim --download-type 3" + images);
    EXPECT_TRUE(text.has("elapsed: ")) << text.out;
    EXPECT_TRUE(text.has(", 85598 bytes, ")) << text.out;
}

TEST(FlashRun, SeveralPortsRunInParallelWithOneSummaryLineEach) {
    const clitest::Run ok =
        runDwl("flash --sim --port 1 --port COM2 --bin " + sample("sample.bin"));
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_TRUE(ok.has("[COM1] Download binary sector by sector"));
    EXPECT_TRUE(ok.has("[COM2] result: Download successful"));
    EXPECT_TRUE(ok.has("\nCOM1: success: Download successful\n"));
    EXPECT_TRUE(ok.has("\nCOM2: success: Download successful\n"));

    const clitest::Run failed = runDwl("flash --sim --port 1 --port 3 --sim-silent-from WakeUp "
                                       "--json --bin " +
                                       sample("sample.bin"));
    EXPECT_EQ(failed.status, 6) << failed.out << failed.err;
    const nlohmann::json j = failed.json();
    EXPECT_EQ(j["exit_status"], 6);
    ASSERT_EQ(j["ports"].size(), 2u);
    EXPECT_EQ(j["ports"][0]["exit_status"], 6);
    EXPECT_EQ(j["ports"][1]["port"], "COM3");
}

TEST(FlashRun, PerPortLogFiles) {
    testsupport::TempDir dir;
    const clitest::Run run = runDwl("flash --sim --port 1 --port 2 --bin " + sample("sample.bin") +
                                    " --log " + quoted(dir.file("bench.log")));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readText(dir.file("bench-COM1.log")).find("The end"), std::string::npos);
    EXPECT_NE(readText(dir.file("bench-COM2.log")).find("The end"), std::string::npos);
    const struct {
        const char *file, *port, *expected;
    } names[] = {{"bench.log", "\\\\.\\COM7", "bench-COM7.log"},
                 {"out/trace", "/dev/ttyUSB0", "out/trace-ttyUSB0"},
                 {"runs.d/trace", "COM2", "runs.d/trace-COM2"},
                 {".log", "COM2", ".log-COM2"}};
    for (const auto& n : names)
        EXPECT_EQ(dwlcli::perPortLogFile(n.file, n.port), n.expected) << n.file << " " << n.port;
}

TEST(BootAndFormat, BootIdentifiesTheFlashAndWritesNothing) {
    const clitest::Run run = runDwl("boot --sim --json");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.has("Booting Loader is Completed!!"));
    const nlohmann::json j = run.json();
    EXPECT_EQ(j["flash"]["device"], "28F128W18T");
    EXPECT_EQ(j["images"], nlohmann::json::array());

    const clitest::Run silent = runDwl("boot --sim --sim-silent-from WakeUp");
    EXPECT_EQ(silent.status, 42) << silent.out;
    EXPECT_TRUE(silent.has("BOOT : no answer from the boot loader"));
    EXPECT_FALSE(silent.has("Booting Loader is Completed!!"));
    EXPECT_TRUE(silent.has("result: the flash was not identified"));
    // A port that does not open is the PC's side, not a silent handset: as a download says it.
    for (const std::string& command :
         {std::string("boot"), "flash --bin " + sample("sample.bin")}) {
        const clitest::Run closed = runDwl(command + " --port /dev/null");
        EXPECT_EQ(closed.status, 5) << command << "\n" << closed.out << closed.err;
        EXPECT_TRUE(closed.has("cannot open /dev/null: not a serial port")) << closed.out;
    }
}

TEST(BootAndFormat, BootOnAFlashThatFlashTxtDoesNotDescribe) {
    const clitest::Run run = runDwl("boot --sim --sim-manufacturer 0x89 --sim-device 0x99");
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_TRUE(run.has("result: flash.txt does not describe the flash read: manufacturer code "
                        "137 (0x89), device code 153 (0x99) (family 2, code 15, exit 2)"))
        << run.out;
}

TEST(BootAndFormat, FormatRunsTheFormatConversation) {
    const clitest::Run run = runDwl("format --sim --wait-states 0,1,2,3");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.has("2 wait state on the chip select 2"));
    EXPECT_TRUE(run.has("> Formatting the flash file system"));
    EXPECT_TRUE(run.has("Flash is Formated!!"));
    EXPECT_TRUE(run.has("result: Download successful"));
}

TEST(HandsetFaults, EachFamilyGivesItsExitStatusAndMessage) {
    struct Case {
        std::string options;
        int status;
        const char* message;
    };
    const std::string bin = " --bin " + sample("sample.bin");
    const Case cases[] = {
        {"--sim-silent-from WakeUp" + bin, 6,
         "result: The mobile does not answer (family 6, code 4, exit 6)"},
        {"--sim-manufacturer 0x55" + bin, 6,
         "result: BOOT : The manufacturer of terminal GSM flash is unknown (family 6, code 15"},
        {"--sim-silent-from SpeedAck" + bin, 8, "(family 8, code 2, exit 8)"},
        {"--product-type 0" + bin, 5, "result: LIB_PC : File not found (family 5, code 3"},
        {"--sim-tfs-start-error A1 --tfs " + sample("sample.tfs"), 19,
         "result: TFS Start ERROR : "},
    };
    for (const Case& c : cases) {
        const clitest::Run run = runDwl("flash --sim " + c.options);
        EXPECT_EQ(run.status, c.status) << c.options << "\n" << run.out << run.err;
        EXPECT_TRUE(run.has(c.message)) << c.options << "\n" << run.out;
    }
}

TEST(Programs, SimPrintsItsDeviceFirst) {
    testsupport::ChildProcess sim(clitest::dwlProgram(), {"sim"});
    ASSERT_TRUE(sim.started());
    const std::string line = sim.readLine(10000);
    // dwl sim became the handset program: stopping it stops the handset.
    const int status = sim.stop();
    EXPECT_EQ(line.rfind("dwl-handset-sim: /dev/", 0), 0u) << line;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status; // a clean stop
}

TEST(Programs, DemoFlashesTheSamplesThroughTheHandsetProgram) {
    const clitest::Run run = runDwl("demo");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.has("mode 5 at 460800 baud"));
    EXPECT_TRUE(run.has("Finished TFS OGM Downloading.."));
    EXPECT_EQ(run.out.substr(run.out.size() - 28), "result: Download successful\n");

    // The handset keeps the wire's pace: never faster than 460800 baud carries the images, and
    // not much slower.
    double elapsed = 0, rate = 0;
    unsigned long long bytes = 0;
    const size_t at = run.out.find("elapsed: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    ASSERT_EQ(sscanf(run.out.c_str() + at, "elapsed: %lf s, %llu bytes, %lf B/s", &elapsed, &bytes,
                     &rate),
              3);
    EXPECT_LE(rate, 46080.0);
    EXPECT_GE(elapsed, bytes / 46080.0);
    EXPECT_LT(elapsed, 20.0); // about 13 s; a busy machine adds some
}

TEST(DwlCommands, CtrlCEndsTheRunSaysSoAndExits130) {
    // The demo's handset keeps the wire's pace; the interrupt comes once the binary image is on
    // its way, however long a loaded machine takes to get there.
    testsupport::ChildProcess demo("/bin/sh",
                                   {"-c", "exec " + quoted(clitest::dwlProgram()) + " demo 2>&1"});
    ASSERT_TRUE(demo.started());
    std::string out;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string line = demo.readLine(1000);
        if (!line.empty()) out += line + "\n";
        if (!interrupted && line.rfind("binary ", 0) == 0) {
            kill(demo.pid(), SIGINT);
            interrupted = true;
        }
        if (line.empty() && !demo.running()) break;
    }
    const int raw = demo.stop();
    // Without serial ports the demo's handset is in the process, on virtual time: no wire to
    // interrupt.
    if (out.find("no dwl-handset-sim on this system") != std::string::npos)
        GTEST_SKIP() << "no handset program in this build";
    ASSERT_TRUE(interrupted) << out;
    ASSERT_TRUE(WIFEXITED(raw)) << out;
    EXPECT_EQ(WEXITSTATUS(raw), 130) << out;
    EXPECT_NE(out.find("\nDownload cancelled by the operator\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("result: Download successful"), std::string::npos);
}

// A second stop that comes once the run has ended in order, before the program's exit, does not
// kill it: its status stays the one the first stop gave.
TEST(DwlCommands, AStopAfterTheRunsEndDoesNotKillTheProgram) {
    const pid_t child = fork();
    if (child == 0) {
        {
            const dwlcli::RunSignals signals;
            raise(SIGTERM);
        }
        raise(SIGTERM);
        _exit(dwlcli::RunSignals::exitStatus(SIGTERM));
    }
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw)) << "killed by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 143);
}

// SIGTERM, SIGHUP and Ctrl-C end a run as the GUI's Stop does: at its next wait, with the result
// line, the JSON summary and the log file, and each with its own exit status.
TEST(DwlCommands, StopSignalsEndTheRunWithItsRecordAndTheirOwnStatus) {
    struct Case {
        int signal;
        int status;
        std::string name;
        int second; // another stop right after: the run still ends in order, as the first says
    };
    const Case cases[] = {{SIGTERM, 143, "SIGTERM", 0},
                          {SIGHUP, 129, "SIGHUP", 0},
                          {SIGINT, 130, "SIGINT", 0},
                          {SIGTERM, 143, "SIGTERM", SIGTERM}};
    testsupport::TempDir dir;
    // Sixteen sectors of 64 KB: the trace of the sectors after the marker fills any pipe.
    std::string image(1u << 20, '\0');
    for (size_t i = 0; i < image.size(); i++)
        image[i] = static_cast<char>(i * 7 + i / 251);
    testsupport::writeBytes(dir.file("big.bin"), image);
    for (const Case& c : cases) {
        const std::string tag = c.name + std::to_string(c.second);
        const std::string log = dir.file(tag + ".log");
        const clitest::Run run = clitest::runDwlSignalledAt(
            {"flash", "--sim", "--json", "--bin", dir.file("big.bin"), "--log", log},
            dir.file(tag + ".fifo"), "sector data 0x02040000", c.signal, c.second);
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.err;
        EXPECT_TRUE(run.has("dwl: " + c.name +
                            ": the run was stopped; the flash may be partly "
                            "written"))
            << run.err;
        EXPECT_TRUE(run.has("\nDownload cancelled by the operator\n")) << run.err;
        const nlohmann::json j = run.json();
        ASSERT_FALSE(j.is_discarded()) << c.name << ": " << run.out;
        EXPECT_EQ(j["exit_status"], c.status);
        EXPECT_EQ(j["sectors"].back()["result"], "untouched") << c.name;
        // The log file ends with the result, the status and the run's time.
        const std::string text = readText(log);
        const size_t last = text.rfind('\n', text.size() - 2);
        ASSERT_NE(last, std::string::npos) << text;
        const std::string lastLine = text.substr(last + 1);
        EXPECT_NE(lastLine.find("  result: Download cancelled by the operator. The flash may be "
                                "partly written"),
                  std::string::npos)
            << lastLine;
        EXPECT_NE(lastLine.find("exit " + std::to_string(c.status) + ", "), std::string::npos)
            << lastLine;
    }
    // Stopped before its first sector, the run says that nothing was written to the flash.
    const clitest::Run early =
        clitest::runDwlSignalledAt({"flash", "--sim", "--bin", dir.file("big.bin")},
                                   dir.file("early.fifo"), "identification", SIGINT);
    EXPECT_EQ(early.status, 130) << early.err;
    EXPECT_TRUE(early.has("dwl: SIGINT: the run was stopped; nothing was written to the flash"))
        << early.err;
    EXPECT_EQ(early.out.find("partly"), std::string::npos) << early.out;

    // Something no cancel reaches (a trace into a pipe nobody reads: its opening waits for a
    // reader): the first stop still ends the program, a grace time later.
    const std::string fifo = dir.file("unread.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const clitest::Run blocked = clitest::runDwl(
        "flash --sim --bin " + quoted(dir.file("big.bin")) + " --trace " + quoted(fifo) +
        " 2>&1 & p=$!; sleep 0.5; kill -TERM $(pgrep -P $p); wait $p; echo status=$?");
    EXPECT_TRUE(blocked.has("status=143")) << blocked.out << blocked.err;
    EXPECT_TRUE(blocked.has("dwl: SIGTERM: the run did not end in time; ended")) << blocked.err;
}

// A reader that went away (dwl flash ... | head) neither kills the run nor stops it: the log
// and the exit status tell how it went. The JSON summary is the run's record, so losing it is
// said and has its own status.
TEST(DwlCommands, AClosedOutputPipeNeitherKillsNorStopsTheRun) {
    testsupport::TempDir dir;
    const std::string bin = examples() + "/sample.bin";
    const clitest::Run run =
        clitest::runDwlIntoClosedPipe({"flash", "--sim", "--bin", bin, "--log", dir.file("a.log")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(readText(dir.file("a.log"))
                  .find("  result: Download successful (family 0, code 0, "
                        "exit 0, "),
              std::string::npos);

    const clitest::Run json = clitest::runDwlIntoClosedPipe(
        {"flash", "--sim", "--json", "--bin", bin, "--log", dir.file("b.log")});
    EXPECT_EQ(json.status, 74) << json.err;
    // The log's result line tells the status the program ends with.
    EXPECT_NE(readText(dir.file("b.log")).find("(family 0, code 0, exit 74, "), std::string::npos)
        << readText(dir.file("b.log"));
    EXPECT_TRUE(json.has("dwl: the JSON summary could not be written: Broken pipe")) << json.err;
    EXPECT_TRUE(json.has("Download binary sector by sector"));
}

} // namespace

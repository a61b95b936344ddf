// dwl-handset-sim on a pseudo-terminal, driven with plain POSIX calls.
#include "tests/app/handset_sim/pty_rate.h"

#include "procedure/dwl3spm87.h"
#include "sim/flash_model.h"
#include "sim/sha256.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"
#include "tests/support/trace_lines.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a test waits for what a program says or writes when it is due at once: only a
// starved machine (sanitizers, a loaded build host) comes near it, and no wait lasts longer
// than the program takes.
constexpr int kProgramWaitMs = 60000;

// dwl-handset-sim with its arguments; not started when it is not built.
std::unique_ptr<testsupport::ChildProcess> StartSim(const std::vector<std::string>& args) {
    const std::string binary = testsupport::binaryDir() + "/app/dwl-handset-sim";
    if (access(binary.c_str(), X_OK) != 0) return nullptr;
    auto sim = std::make_unique<testsupport::ChildProcess>(binary, args);
    if (!sim->started()) return nullptr;
    return sim;
}

// Reads bytes until count arrived or the time-out (ms) passed.
std::vector<int> ReadBytes(int fd, size_t count, int timeoutMs) {
    std::vector<int> bytes;
    while (bytes.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) break;
        uint8_t b;
        if (::read(fd, &b, 1) != 1) break;
        bytes.push_back(b);
    }
    return bytes;
}

// The boot loader's reply to the PC's frames: wake-ups the handset sent before it took the
// PC's answer (late on a starved machine) come first and are skipped.
std::vector<int> ReadBootReply(int fd, size_t count) {
    std::vector<int> reply;
    while (reply.size() < count) {
        const std::vector<int> byte = ReadBytes(fd, 1, kProgramWaitMs);
        if (byte.empty()) break;
        if (reply.empty() && byte[0] == 0xBE) continue;
        reply.push_back(byte[0]);
    }
    return reply;
}

// Sleeps until `name` appears in `dir` (the handset program renames its files into place) or
// the time-out (ms) passes; true when it is there.
bool WaitForFile(const std::string& dir, const std::string& name, int timeoutMs) {
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0) return false;
    inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const std::string path = dir + "/" + name;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool there = access(path.c_str(), F_OK) == 0;
    while (!there) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd p{watch, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        alignas(inotify_event) char events[4096];
        if (read(watch, events, sizeof events) < 0) break;
        there = access(path.c_str(), F_OK) == 0;
    }
    close(watch);
    return there;
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void SetRate(int fd, speed_t rate) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, rate);
    cfsetospeed(&t, rate);
    tcsetattr(fd, TCSANOW, &t);
}

TEST(PtyProgram, AnnouncesOnThePrintedDeviceAndBootsAfterReopen) {
    testsupport::TempDir dir;
    const auto sim = StartSim({"--noise", "0", "--report", dir.file("report"), "--trace",
                               dir.file("hs.trace"), "--trace-data", "full"});
    if (!sim) GTEST_SKIP() << "dwl-handset-sim not built";
    std::string line = sim->readLine(kProgramWaitMs);
    const std::string prefix = "dwl-handset-sim: ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    std::string device = line.substr(prefix.size());

    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << device;
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xBE});

    uint8_t answer = 0x44;
    ASSERT_EQ(write(fd, &answer, 1), 1);
    std::vector<uint8_t> frames{0x00, 0x03, 0,    0, 0, 0, 0x40, 0x01, 0xAA,
                                0xBB, 0x00, 0x03, 0, 0, 0, 0,    0x60, 0x00};
    usleep(50000);
    tcflush(fd, TCIFLUSH);
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    std::vector<int> reply = ReadBootReply(fd, 7);
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_EQ(reply[0], 0x44);
    EXPECT_EQ(reply[1], 0xA0);
    EXPECT_EQ(reply[4], 0xC2);

    // Bytes at another rate than the handset's are garbled: no answer to the speed control.
    SetRate(fd, B115200);
    uint8_t control = 0xE9;
    ASSERT_EQ(write(fd, &control, 1), 1);
    std::vector<int> garbled = ReadBytes(fd, 1, 300);
    EXPECT_TRUE(garbled.empty() || garbled[0] != 0xCA);
    SetRate(fd, B38400);
    ASSERT_EQ(write(fd, &control, 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xCA});

    // A speed change to a rate no standard constant names: the slave's rate is read back
    // from the terminal settings.
    std::vector<uint8_t> change{0xE0};
    ASSERT_EQ(write(fd, change.data(), 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xC0});
    std::vector<uint8_t> frame{0xB0, 0xFF, 0xFD, 0x02, 0xAC};
    ASSERT_EQ(write(fd, frame.data(), frame.size()), 5);
    EXPECT_EQ(ReadBytes(fd, 2, kProgramWaitMs), (std::vector<int>{0xC3, 0x00}));
    ASSERT_TRUE(SetAnyRate(fd, 220338));
    ASSERT_EQ(write(fd, &control, 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xCA});

    // Bytes take their wire time at that rate: a sector command and 8192 bytes, 10 bits each,
    // reach the handset after 0.372 s, and only then does it answer.
    std::vector<uint8_t> sector{0xEA, 0, 1, 0, 0, 0x02, 0, 0, 0, 0, 0, 0x20, 0};
    sector.resize(sector.size() + 8192, 0x01);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, sector.data(), sector.size()), static_cast<ssize_t>(sector.size()));
    EXPECT_EQ(ReadBytes(fd, 5, 3000), (std::vector<int>{0xCC, 0x00, 0x20, 0x00, 0x00}));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, (13 + 8192) * 10.0 / 220338);
    EXPECT_LT(took, 2.0);

    // Closing the port powers the handset again from its boot loader, and the next opening
    // starts clean: neither the answer the PC left unread nor the rest of a sector it was
    // sending when it died (two seconds of wire at 38400 baud) reach the next session.
    pollfd answered{fd, POLLIN, 0};
    ASSERT_EQ(write(fd, &control, 1), 1);
    ASSERT_EQ(poll(&answered, 1, 2000), 1) << "the answer is there, unread";
    for (const bool midSector : {false, true}) {
        SCOPED_TRACE(midSector ? "died mid-sector" : "left an answer unread");
        if (midSector) {
            SetRate(fd, B38400);
            ASSERT_EQ(write(fd, sector.data(), sector.size()), static_cast<ssize_t>(sector.size()));
        }
        // The report comes once the handset has seen the close and emptied the line.
        unlink(dir.file("report").c_str());
        close(fd);
        ASSERT_TRUE(WaitForFile(dir.path(), "report", kProgramWaitMs));
        fd = open(device.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        SetRate(fd, B38400);
        EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xBE});
        // Booted afresh.
        ASSERT_EQ(write(fd, &answer, 1), 1);
        usleep(50000);
        tcflush(fd, TCIFLUSH);
        ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
        EXPECT_EQ(ReadBootReply(fd, 2), (std::vector<int>{0x44, 0xA0}));
        ReadBytes(fd, 5, 500);
    }

    // Stopped by a signal that comes before the handset has seen the PC's last byte and the
    // close (held back here by SIGSTOP, as a starved machine does): it takes that byte, ends
    // the session as a close does, its report and trace on disk, and exits 0.
    ASSERT_EQ(kill(sim->pid(), SIGSTOP), 0);
    ASSERT_EQ(write(fd, &control, 1), 1);
    close(fd);
    ASSERT_EQ(kill(sim->pid(), SIGTERM), 0);
    ASSERT_EQ(kill(sim->pid(), SIGCONT), 0);
    EXPECT_EQ(sim->readLine(kProgramWaitMs), ""); // its output ends as it exits
    const int status = sim->stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // The session since the last opening: the answer, the frames and the speed control.
    const std::string report = Text(testsupport::readBytes(dir.file("report")));
    EXPECT_NE(report.find("bytes_to_handset 20\n"), std::string::npos) << report;
    const std::vector<testsupport::TraceEntry> trace = testsupport::readTrace(dir.file("hs.trace"));
    const std::vector<uint8_t> received = testsupport::tracedBytes(trace, "PC>HS");
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), control);
}

// Without pacing the handset cannot tell when the PC wrote the bytes it finds waiting: a
// server starved past the quiet time that ends the extension module (held here by SIGSTOP)
// takes them as the module's, not as commands after its end.
TEST(PtyProgram, InstantTakesBytesFoundWaitingAsOnTime) {
    const auto sim = StartSim({"--instant", "--noise", "0"});
    if (!sim) GTEST_SKIP() << "dwl-handset-sim not built";
    const std::string line = sim->readLine(kProgramWaitMs);
    ASSERT_NE(line.find(": /"), std::string::npos) << line;
    const int fd = open(line.substr(line.find(": ") + 2).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    ASSERT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xBE});
    const uint8_t answer = 0x44;
    ASSERT_EQ(write(fd, &answer, 1), 1);
    usleep(50000); // announcements already on their way are dropped
    tcflush(fd, TCIFLUSH);
    const std::vector<uint8_t> frames{0x00, 0x03, 0,    0, 0, 0, 0x40, 0x01, 0xAA,
                                      0xBB, 0x00, 0x03, 0, 0, 0, 0,    0x60, 0x00};
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    ASSERT_EQ(ReadBootReply(fd, 7).size(), 7u);
    const uint8_t extension = 0xEE;
    ASSERT_EQ(write(fd, &extension, 1), 1);
    ASSERT_EQ(ReadBytes(fd, 5, kProgramWaitMs), (std::vector<int>{0xC0, 0x00, 0x01, 0x00, 0x00}));
    // The module's first piece, taken by the handset; the second written while it is held,
    // made of bytes that as commands would each be answered (speed control: 0xCA).
    const std::vector<uint8_t> first(16, 0x00);
    const std::vector<uint8_t> second(16, 0xE9);
    ASSERT_EQ(write(fd, first.data(), first.size()), 16);
    usleep(30000); // taken by now, unless the machine is starved (then the test proves less)
    ASSERT_EQ(kill(sim->pid(), SIGSTOP), 0);
    ASSERT_EQ(write(fd, second.data(), second.size()), 16);
    usleep(150000); // starved for three times the quiet time
    ASSERT_EQ(kill(sim->pid(), SIGCONT), 0);
    // The module ends once the line is quiet after its last byte, and nothing else comes.
    EXPECT_EQ(ReadBytes(fd, 2, 1000), std::vector<int>{0x63});
    close(fd);
}

TEST(PtyProgram, LatencyComesBeforeEachReply) {
    const auto sim = StartSim({"--latency", "300"});
    if (!sim) GTEST_SKIP() << "dwl-handset-sim not built";
    std::string line = sim->readLine(kProgramWaitMs);
    std::string device = line.substr(line.find(": ") + 2);
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << device;
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    ASSERT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0xBE});
    uint8_t answer = 0x44;
    ASSERT_EQ(write(fd, &answer, 1), 1);
    usleep(50000); // announcements already on their way are dropped
    tcflush(fd, TCIFLUSH);
    std::vector<uint8_t> boot{0x00, 0x03, 0, 0, 0, 0, 0x40, 0x00, 0xAA, 0x60, 0x00};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, boot.data(), boot.size()), static_cast<ssize_t>(boot.size()));
    EXPECT_EQ(ReadBytes(fd, 1, kProgramWaitMs), std::vector<int>{0x44});
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 0.3);
    EXPECT_LT(took, 1.5);
    close(fd);
}

// Every mode, through dwl on the pseudo-terminal, against dwl-handset-sim --instant: each run
// succeeds, and the handset's dump and report show exactly the images of the mode.
TEST(PtyProgram, InstantServesEveryModeAndShowsWhatItWrote) {
    const std::string dwl = testsupport::binaryDir() + "/app/dwl";
    if (access(dwl.c_str(), X_OK) != 0) GTEST_SKIP() << "dwl not built";
    testsupport::TempDir dir;
    const std::string examples = testsupport::sourceDir() + "/examples";
    testsupport::writeBytes(dir.file("flash.txt"), testsupport::readBytes(examples + "/flash.txt"));
    // A short bootstrap; an extension module longer than one write of the PC's, so that it
    // reaches the handset in pieces.
    testsupport::writeBytes(dir.file("dwl87.spm"), testsupport::sampleBytes(87, 600));
    testsupport::writeBytes(dir.file("dwl88.spm"), testsupport::sampleBytes(88, 20000));
    const std::vector<uint8_t> bin = testsupport::sampleBytes(1, 20000);
    const std::vector<uint8_t> ogm = testsupport::sampleBytes(2, 9001); // padded by one byte
    const std::vector<uint8_t> tfs = testsupport::sampleBytes(3, 12000);
    testsupport::writeBytes(dir.file("a.bin"), bin);
    testsupport::writeBytes(dir.file("a.ogm"), ogm);
    testsupport::writeBytes(dir.file("a.tfs"), tfs);
    testsupport::writeCrLfFile(dir.file("a.cfg"),
                               {"TFSVERSION : TFS_PTY_1", "NUM_DIR : 1", "MAXFILES : 4", "SET_DIR",
                                "DIR_NAME : /sys", "END_DIR", "SET_FILE", "FILE_NAME : /sys/a",
                                "FILE_SIZE : 3000", "FILE_NAME : /sys/b", "FILE_SIZE : 9000",
                                "END_FILE", "END_TFS"});
    std::vector<uint8_t> paddedOgm = ogm;
    paddedOgm.push_back(0xFF);
    const uint32_t ogmAddress = dwl3_2OgmStartAddress(1, 0x18);

    struct Mode {
        int mode;
        bool binary, ogm, tfs;
    };
    const Mode modes[] = {{0, true, true, false},  {1, true, false, false}, {2, false, true, false},
                          {3, false, false, true}, {4, false, true, true},  {5, true, true, true},
                          {6, true, false, true}};
    // One run after another, each with its own handset: the extension module ends after a quiet
    // line, and seven pairs at once on a loaded machine starve a dwl between its pieces for
    // longer than that.
    std::vector<std::unique_ptr<testsupport::ChildProcess>> handsets;
    std::vector<int> runs;
    for (const Mode& m : modes) {
        const std::string n = std::to_string(m.mode);
        std::vector<std::string> args = {"--instant",
                                         "--flash",
                                         dir.file("flash.txt"),
                                         "--dump",
                                         dir.file("flash." + n),
                                         "--report",
                                         dir.file("report." + n)};
        // One run traced on both sides, every byte.
        if (m.mode == 5)
            args.insert(args.end(), {"--trace", dir.file("hs.trace"), "--trace-data", "full"});
        handsets.push_back(StartSim(args));
        ASSERT_NE(handsets.back(), nullptr) << "dwl-handset-sim not built";
        const std::string line = handsets.back()->readLine(kProgramWaitMs);
        ASSERT_NE(line.find(": /"), std::string::npos) << "no device announced: " << line;
        std::string command = "cd '" + dir.path() + "' && timeout -k 5 60 '" + dwl +
                              "' flash -C . --port " + line.substr(line.find(": ") + 2) +
                              " --mode " + n;
        if (m.binary) command += " --bin a.bin";
        if (m.ogm) command += " --ogm a.ogm";
        if (m.tfs) command += " --tfs a.tfs";
        if (m.mode == 5) command += " --trace pc.trace --trace-data full";
        FILE* run = popen((command + " > log." + n + " 2>&1").c_str(), "r");
        ASSERT_NE(run, nullptr);
        runs.push_back(pclose(run));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const Mode& m = modes[i];
        const std::string n = std::to_string(m.mode);
        const int status = runs[i];
        const std::string log = Text(testsupport::readBytes(dir.file("log." + n)));
        if (log.find("built without Qt") != std::string::npos)
            GTEST_SKIP() << "this build has no serial ports";
        SCOPED_TRACE("mode " + n + "\n" + log);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_TRUE(WaitForFile(dir.path(), "report." + n, kProgramWaitMs));

        std::vector<sim::PlacedImage> images;
        std::vector<std::string> written;
        auto expect = [&](uint32_t address, const std::vector<uint8_t>& bytes) {
            images.push_back({address, bytes.data(), static_cast<uint32_t>(bytes.size())});
            char text[64];
            std::snprintf(text, sizeof text, "written 0x%08X %zu sha256 ", address, bytes.size());
            written.push_back(text + sim::Sha256Hex(bytes.data(), bytes.size()));
        };
        if (m.binary) expect(sim::kFlashBase, bin);
        if (m.ogm) expect(ogmAddress, paddedOgm);
        if (m.tfs)
            written.push_back("tfs_files 2 12000 sha256 " + sim::Sha256Hex(tfs.data(), tfs.size()));
        const std::vector<uint8_t> flash = testsupport::readBytes(dir.file("flash." + n));
        ASSERT_EQ(flash.size(), 16u << 20);
        EXPECT_TRUE(sim::FlashHoldsOnly(flash.data(), static_cast<uint32_t>(flash.size()), images));
        std::istringstream report(Text(testsupport::readBytes(dir.file("report." + n))));
        std::vector<std::string> reported;
        for (std::string line; std::getline(report, line);)
            if (line.rfind("written ", 0) == 0 || line.rfind("tfs_files ", 0) == 0)
                reported.push_back(line);
        EXPECT_EQ(reported, written);
    }
    // Both sides saw the same bytes from the PC.
    const std::vector<uint8_t> sent =
        testsupport::tracedBytes(testsupport::readTrace(dir.file("pc.trace")), "PC>HS");
    EXPECT_GT(sent.size(), 20000u + 20000u + 9002u + 12000u);
    EXPECT_EQ(testsupport::tracedBytes(testsupport::readTrace(dir.file("hs.trace")), "PC>HS"),
              sent);
}

TEST(PtyProgram, RefusesBadOptions) {
    std::string binary = testsupport::binaryDir() + "/app/dwl-handset-sim";
    if (access(binary.c_str(), X_OK) != 0) GTEST_SKIP() << "dwl-handset-sim not built";
    const std::pair<const char*, const char*> cases[] = {
        {"--silent-from NoSuchStep", "--silent-from: unknown step NoSuchStep"},
        {"--fail-sessions 2", "--fail-sessions needs --sessions"},
        {"--sessions 3 --fail-sessions 2,4", "--fail-sessions: no session 4 among 3"},
        {"--sessions 3 --fail-sessions 1,,2", "--fail-sessions takes session numbers from 1: 2,5"},
        {"--sessions 3 --fail-sessions 0", "--fail-sessions: no session 0 among 3"},
    };
    for (const auto& [options, message] : cases) {
        const std::string cmd = binary + " " + options + " 2>&1";
        FILE* out = popen(cmd.c_str(), "r");
        ASSERT_NE(out, nullptr);
        char text[256] = "";
        const size_t n = std::fread(text, 1, sizeof text - 1, out);
        const int status = pclose(out);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2) << options;
        EXPECT_EQ(std::string(text, n), std::string("dwl-handset-sim: ") + message + "\n");
    }
}

} // namespace

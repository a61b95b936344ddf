// dwl-handset-sim on a pseudo-terminal, driven with plain POSIX calls.
#include "tests/app/handset_sim/pty_rate.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

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

void SetRate(int fd, speed_t rate) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, rate);
    cfsetospeed(&t, rate);
    tcsetattr(fd, TCSANOW, &t);
}

TEST(PtyProgram, AnnouncesOnThePrintedDeviceAndBootsAfterReopen) {
    const auto sim = StartSim({"--noise", "0"});
    if (!sim) GTEST_SKIP() << "dwl-handset-sim not built";
    std::string line = sim->readLine(5000);
    const std::string prefix = "dwl-handset-sim: ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    std::string device = line.substr(prefix.size());

    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << device;
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xBE});

    uint8_t answer = 0x44;
    ASSERT_EQ(write(fd, &answer, 1), 1);
    std::vector<uint8_t> frames{0x00, 0x03, 0,    0, 0, 0, 0x40, 0x01, 0xAA,
                                0xBB, 0x00, 0x03, 0, 0, 0, 0,    0x60, 0x00};
    usleep(50000);
    tcflush(fd, TCIFLUSH);
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    std::vector<int> reply = ReadBytes(fd, 7, 2000);
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
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xCA});

    // A speed change to a rate no standard constant names: the slave's rate is read back
    // from the terminal settings.
    std::vector<uint8_t> change{0xE0};
    ASSERT_EQ(write(fd, change.data(), 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xC0});
    std::vector<uint8_t> frame{0xB0, 0xFF, 0xFD, 0x02, 0xAC};
    ASSERT_EQ(write(fd, frame.data(), frame.size()), 5);
    EXPECT_EQ(ReadBytes(fd, 2, 2000), (std::vector<int>{0xC3, 0x00}));
    ASSERT_TRUE(SetAnyRate(fd, 220338));
    ASSERT_EQ(write(fd, &control, 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xCA});

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

    // Closing the port powers the handset again from its boot loader.
    close(fd);
    usleep(100000);
    fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xBE});
    close(fd);
}

TEST(PtyProgram, LatencyComesBeforeEachReply) {
    const auto sim = StartSim({"--latency", "300"});
    if (!sim) GTEST_SKIP() << "dwl-handset-sim not built";
    std::string line = sim->readLine(5000);
    std::string device = line.substr(line.find(": ") + 2);
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << device;
    SetRate(fd, B38400);
    tcflush(fd, TCIFLUSH);
    ASSERT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0xBE});
    uint8_t answer = 0x44;
    ASSERT_EQ(write(fd, &answer, 1), 1);
    usleep(50000); // announcements already on their way are dropped
    tcflush(fd, TCIFLUSH);
    std::vector<uint8_t> boot{0x00, 0x03, 0, 0, 0, 0, 0x40, 0x00, 0xAA, 0x60, 0x00};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, boot.data(), boot.size()), static_cast<ssize_t>(boot.size()));
    EXPECT_EQ(ReadBytes(fd, 1, 2000), std::vector<int>{0x44});
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 0.3);
    EXPECT_LT(took, 1.5);
    close(fd);
}

TEST(PtyProgram, RefusesBadOptions) {
    std::string binary = testsupport::binaryDir() + "/app/dwl-handset-sim";
    if (access(binary.c_str(), X_OK) != 0) GTEST_SKIP() << "dwl-handset-sim not built";
    std::string cmd = binary + " --silent-from NoSuchStep >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
}

} // namespace

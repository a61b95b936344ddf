// The real-port backend on a pseudo-terminal the test makes itself: bytes both ways, read
// time-out, every link rate as the kernel holds it, the output queue, lost lines, lock files.
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "link/serial_backend.h"
#include "link/serial_device.h"
#include "platform/linux/serial_lock_file.h"
#include "platform/linux/serial_termios2.h"
#include "platform/linux/serial_tty_device.h"
#include "tests/platform/linux/serial_pty_peer.h"
#include "tests/support/temp_files.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 5;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<uint8_t> pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

class RealPortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok()) << "no pseudo-terminal available";
        dwl_InstallSerialBackend();
        dwl_SetComDevice(kPort, peer.slavePath());
    }
    void TearDown() override {
        rs232_ClearCancel();
        rs232_SetWaitHook(nullptr);
        rs232_SetOpener(nullptr);
        dwl_ClearComDevices();
    }
    // As the boot sequence opens the port.
    int open(long baud = 38400, int parity = 2) {
        return OpenComConfig(kPort, "COM5", baud, parity, 8, 1, 65536, 65536);
    }
    // Waits for the output queue as the protocol code does, with a guard against a hang.
    int drain(double guardSeconds = 10) {
        auto start = Clock::now();
        int left = GetOutQLen(kPort);
        while (left > 0 && secondsSince(start) < guardSeconds)
            left = WaitOutQEmpty(kPort, 0.05);
        return left;
    }
    // Sleeps until `count` received bytes are ready to read or `guardSeconds` pass; returns the
    // bytes ready.
    int waitForInput(int count, double guardSeconds = 2) {
        auto start = Clock::now();
        int ready = GetInQLen(kPort);
        while (ready < count && secondsSince(start) < guardSeconds) {
            if (ready == 0)
                WaitInQ(kPort, guardSeconds - secondsSince(start));
            else // the first are in, the rest on their way through the kernel
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ready = GetInQLen(kPort);
        }
        return ready;
    }

    ptytest::PtyPeer peer;
};

TEST_F(RealPortOnPty, OpensDespiteParityAndModemLinesAPtyCannotHold) {
    ASSERT_EQ(open(38400, 2), 0);
    EXPECT_EQ(ComSetEscape(kPort, SETDTR), 0);
    EXPECT_EQ(ComSetEscape(kPort, CLRDTR), 0);
    EXPECT_EQ(SetCTSMode(kPort, 0), 0);
    EXPECT_EQ(SetXMode(kPort, 0), 0);
    // The line still carries bytes after the requests the pty refused.
    ASSERT_EQ(ComWrtByte(kPort, 0x44), 1);
    EXPECT_EQ(drain(), 0);
    EXPECT_EQ(peer.receive(1, 2000), std::vector<uint8_t>{0x44});
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST_F(RealPortOnPty, OpeningFailsWithNegativeErrorNumbers) {
    testsupport::TempDir locks;
    const dwllinux::LockFolders folders{{locks.path()}, {locks.path()}};
    struct Case {
        const char* path;
        int error;
        const char* why;
    };
    const Case cases[] = {
        {"/dev/no-such-serial-device", kRS_NoPortFound, "No such file or directory"},
        {"", kRS_NoPortFound, "no device named"},
        {"/dev/null", kRS_CanNotOpenPort, "not a serial port"}, // a device that is no terminal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        dwllinux::OpenReport report;
        EXPECT_EQ(dwllinux::TtySerialDevice::open(c.path, folders, &report), nullptr);
        EXPECT_EQ(report.error, c.error);
        EXPECT_EQ(report.why, c.why);
    }
    // A device that did not open keeps no lock.
    EXPECT_NE(access(locks.file("LCK..null").c_str(), F_OK), 0);

    // Through the port services, for a COM number mapped to a missing device.
    dwl_SetComDevice(7, "/dev/no-such-serial-device");
    EXPECT_EQ(OpenComConfig(7, "COM7", 38400, 2, 8, 1, 65536, 65536), kRS_NoPortFound);
    EXPECT_EQ(ComRdByte(7), kRS_TimeOutErr); // a closed port reads as silence
    // dwl12_0UartInit hands the number on unchanged.
    EXPECT_EQ(dwl12_0UartInit(7, 38400, 2, 5), kRS_NoPortFound);

    // Two COM numbers on one device: the second cannot have it while the first holds it.
    ASSERT_EQ(open(), 0);
    dwl_SetComDevice(8, peer.slavePath());
    EXPECT_EQ(OpenComConfig(8, "COM8", 38400, 2, 8, 1, 65536, 65536), kRS_CanNotOpenPort);
    // Once released it opens.
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(OpenComConfig(8, "COM8", 38400, 2, 8, 1, 65536, 65536), 0);
    // Other programs are kept out while it is open (all but the superuser's), and let in again
    // after the close: the claim would outlive it on a pseudo-terminal.
    const int other = ::open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0) << "the superuser gets in";
    int exclusive = 0;
    EXPECT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    CloseCom(8);
    EXPECT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
}

// A process of the test's own that waits until it is killed.
pid_t startSleeper() {
    const pid_t pid = fork();
    if (pid == 0) {
        pause();
        _exit(0);
    }
    return pid;
}

void stopSleeper(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string ownCommand() {
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    return comm;
}

// Moves a file's time `seconds` into the past.
void ageFile(const std::string& path, int seconds) {
    const timeval then[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
    utimes(path.c_str(), then);
}

// A device that does not open gets a log line saying why; a lock file in the way is explained,
// and one its maker left behind is taken over with a line saying so.
TEST_F(RealPortOnPty, OpenFailuresSayWhy) {
    const std::string device = peer.slavePath();
    auto openSays = [](int port, const std::string& why) {
        OpenComConfig(port, dwl_ComPortName(port).c_str(), 38400, 2, 8, 1, 65536, 65536);
        EXPECT_EQ(std::string(ma_Comment), " " + why + " ");
    };
    dwl_SetComDevice(7, "/dev/no-such-serial-device");
    openSays(7, "cannot open /dev/no-such-serial-device: No such file or directory");
    if (access("/var/lock", W_OK) != 0) GTEST_SKIP() << "no lock folder to write in";

    // The lock names this process while it has the device open, and goes with the close.
    const std::string lock = "/var/lock/" + dwllinux::lockFileName(device);
    ASSERT_EQ(open(), 0);
    long holder = 0;
    std::ifstream(lock) >> holder;
    EXPECT_EQ(holder, static_cast<long>(getpid()));
    dwl_SetComDevice(8, device);
    openSays(8, "cannot open " + device + ": already open in this program");
    // A link to the device is the device itself.
    testsupport::TempDir dir;
    const std::string link = dir.file("link-to-pts");
    ASSERT_EQ(symlink(device.c_str(), link.c_str()), 0);
    dwl_SetComDevice(9, link);
    openSays(9, "cannot open " + link + ": already open in this program");
    CloseCom(kPort);
    EXPECT_NE(access(lock.c_str(), F_OK), 0) << lock;

    std::ofstream(lock).close(); // its maker was killed before it wrote its number
    openSays(8,
             "cannot open " + device + ": left locked by a killed program; free again within 30 s");
    ageFile(lock, 31);
    openSays(8, device + " left locked by a killed program; its lock file taken over");
    CloseCom(8);

    const pid_t other = startSleeper();
    const std::string comm = ownCommand();
    std::ofstream(lock) << other << "\n" << comm << "\n\n"; // as the serial port library writes it
    openSays(8, "cannot open " + device + ": in use by process " + std::to_string(other) + " (" +
                    comm + ")");
    // Through the link too.
    openSays(9, "cannot open " + link + ": in use by process " + std::to_string(other) + " (" +
                    comm + ")");
    stopSleeper(other);
    openSays(8, device + " left locked by process " + std::to_string(other) +
                    ", which has ended; its lock file taken over");
    EXPECT_EQ(GetOutQLen(8), 0) << "the port is open";
    CloseCom(8);
    EXPECT_NE(access(lock.c_str(), F_OK), 0) << lock;
}

// The rules of the lock files, in folders of the test's own: whose lock stops an open, which
// one is taken over, where this program makes its own.
TEST_F(RealPortOnPty, LockFilesOfRunningProgramsStopAnOpenLeftOnesAreTakenOver) {
    testsupport::TempDir mine, others;
    const dwllinux::LockFolders folders{{mine.path(), others.path()}, {mine.path()}};
    const std::string device = peer.slavePath();
    const std::string name = dwllinux::lockFileName(device);
    EXPECT_EQ(name, "LCK..pts_" + device.substr(9));
    struct stat node {};
    ASSERT_EQ(stat(device.c_str(), &node), 0);
    const std::string number =
        dwllinux::deviceLockFileName(major(node.st_rdev), minor(node.st_rdev));
    EXPECT_EQ(dwllinux::deviceLockFileName(188, 0), "LCK.188.000"); // as lockdev names it
    const pid_t running = startSleeper();
    int opened[2];
    ASSERT_EQ(pipe(opened), 0);
    const pid_t holding = fork(); // has the device open, and says so
    if (holding == 0) {
        if (::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 &&
            write(opened[1], "o", 1) == 1)
            pause();
        _exit(1);
    }
    close(opened[1]);
    char said = 0;
    ASSERT_EQ(read(opened[0], &said, 1), 1);
    close(opened[0]);
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string inUse =
        "in use by process " + std::to_string(running) + " (" + ownCommand() + ")";
    char own[16];
    snprintf(own, sizeof own, "%10ld\n", static_cast<long>(getpid()));

    struct Case {
        const char* what;
        std::string folder; // where a lock file lies before, "" for none
        std::string content;
        int ageSeconds;
        bool taken;
        std::string said; // why it was refused, or whose lock was taken over
    };
    const Case cases[] = {
        {"no lock", "", "", 0, true, ""},
        {"a running program's", mine.path(), std::to_string(running) + "\n", 0, false, inUse},
        {"a running program's in another folder", others.path(),
         "      " + std::to_string(running) + "\n", 0, false, inUse},
        {"a running program's, by the device's number", mine.path() + "/" + number,
         std::to_string(running) + "\n", 0, false, inUse},
        // Its number come round again to a program without the device: no holder.
        {"a running program's half a minute old, the device not open there", mine.path(),
         std::to_string(running) + "\n", 31, true,
         "left locked by process " + std::to_string(running) + ", which no longer has it open"},
        {"a running program's half a minute old, the device open there", mine.path(),
         std::to_string(holding) + "\n", 31, false,
         "in use by process " + std::to_string(holding) + " (" + ownCommand() + ")"},
        {"an ended program's, by the device's number", others.path() + "/" + number,
         std::to_string(ended) + "\n", 0, true,
         "left locked by process " + std::to_string(ended) + ", which has ended"},
        {"an ended program's", mine.path(), std::to_string(ended) + "\n", 0, true,
         "left locked by process " + std::to_string(ended) + ", which has ended"},
        {"an ended program's in another folder", others.path(), std::to_string(ended), 0, true,
         "left locked by process " + std::to_string(ended) + ", which has ended"},
        {"an empty one just made", mine.path(), "", 0, false,
         "left locked by a killed program; free again within 30 s"},
        {"an empty one half a minute old", mine.path(), "", 31, true,
         "left locked by a killed program"},
        {"one without a number, half a minute old", mine.path(), "dwl\n", 31, true,
         "left locked by a killed program"},
        {"this process number's, the device not open here", mine.path(), own, 0, true,
         "left locked by an earlier program of this process number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A folder, where the path's lock lies, or a whole file name.
        const std::string before = c.folder.empty() ? ""
                                   : c.folder.find("LCK.") != std::string::npos
                                       ? c.folder
                                       : c.folder + "/" + name;
        if (!before.empty()) {
            testsupport::writeBytes(before, c.content);
            ageFile(before, c.ageSeconds);
        }
        dwllinux::DeviceLock lock;
        std::string why, takenOver;
        EXPECT_EQ(lock.take(device, folders, &why, &takenOver), c.taken);
        EXPECT_EQ(c.taken ? takenOver : why, c.said);
        if (c.taken) {
            // Made in the first folder under both names, whole, naming this process; gone
            // with release().
            EXPECT_EQ(lock.files(), (std::vector<std::string>{mine.file(number), mine.file(name)}));
            for (const std::string& made : {number, name}) {
                const std::vector<uint8_t> text = testsupport::readBytes(mine.file(made));
                EXPECT_EQ(std::string(text.begin(), text.end()), own);
                EXPECT_NE(access(others.file(made).c_str(), F_OK), 0);
            }
            lock.release();
            EXPECT_NE(access(mine.file(name).c_str(), F_OK), 0);
            EXPECT_NE(access(mine.file(number).c_str(), F_OK), 0);
        } else {
            EXPECT_TRUE(lock.files().empty());
            if (before != mine.file(number)) {
                EXPECT_NE(access(mine.file(number).c_str(), F_OK), 0) << "no half-taken lock";
            }
            EXPECT_EQ(access(before.c_str(), F_OK), 0) << "a lock in use stays";
            unlink(before.c_str());
        }
    }
    stopSleeper(running);
    stopSleeper(holding);

    // Nowhere to make one: the device opens unlocked.
    dwllinux::DeviceLock unlocked;
    std::string why, takenOver;
    EXPECT_TRUE(unlocked.take(device, {{mine.path()}, {mine.file("missing")}}, &why, &takenOver));
    EXPECT_TRUE(unlocked.files().empty());

    // A lock another program has taken meanwhile is not removed with ours.
    dwllinux::DeviceLock broken;
    ASSERT_TRUE(broken.take(device, folders, &why, &takenOver));
    testsupport::writeBytes(broken.files().back(), std::string("1\n"));
    broken.release();
    EXPECT_EQ(access(mine.file(name).c_str(), F_OK), 0);
    EXPECT_NE(access(mine.file(number).c_str(), F_OK), 0);
    unlink(mine.file(name).c_str());

    // Another node of the same device (as a bind mount makes one) meets the same lock.
    const std::string alias = others.file("alias");
    if (mknod(alias.c_str(), S_IFCHR | 0600, node.st_rdev) != 0) GTEST_SKIP() << "no mknod here";
    const pid_t holder = startSleeper();
    testsupport::writeBytes(mine.file(number), std::to_string(holder) + "\n");
    dwllinux::DeviceLock throughAlias;
    EXPECT_FALSE(throughAlias.take(alias, folders, &why, &takenOver));
    EXPECT_EQ(why, "in use by process " + std::to_string(holder) + " (" + ownCommand() + ")");
    stopSleeper(holder);
}

TEST_F(RealPortOnPty, CarriesEveryByteValueBothWays) {
    ASSERT_EQ(open(), 0);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);

    ASSERT_EQ(ComWrt(kPort, all.data(), 256), 256);
    EXPECT_EQ(drain(), 0);
    EXPECT_EQ(peer.receive(256, 2000), all);

    SetComTime(kPort, 2.0);
    peer.send(all);
    // Single bytes, 0x9D and 0xFF included, come back as 0 to 255, never negative.
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(ComRdByte(kPort), i);
    // The rest has arrived by now; the queue length tells it without a read.
    EXPECT_EQ(waitForInput(240), 240);
    std::vector<uint8_t> rest(240);
    EXPECT_EQ(ComRd(kPort, rest.data(), 240), 240);
    EXPECT_EQ(rest, std::vector<uint8_t>(all.begin() + 16, all.end()));
    EXPECT_EQ(GetInQLen(kPort), 0);
}

TEST_F(RealPortOnPty, ReadsTimeOutAfterTheSetTime) {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(SetComTime(kPort, 0.2), 0);

    auto start = Clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    double waited = secondsSince(start);
    EXPECT_GE(waited, 0.18);
    EXPECT_LT(waited, 1.0);
    // The protocol reads the time-out as the byte 0x9D.
    EXPECT_EQ(static_cast<uint8_t>(kRS_TimeOutErr), 0x9D);

    // A block read returns what came within the time-out.
    peer.send({0x11, 0x22});
    uint8_t buffer[4] = {};
    start = Clock::now();
    EXPECT_EQ(ComRd(kPort, buffer, 4), 2);
    waited = secondsSince(start);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[1], 0x22);
    EXPECT_GE(waited, 0.18);
    EXPECT_LT(waited, 1.0);

    // Bytes that trickle in do not restart the time-out: one time-out for the whole call.
    std::thread trickle([&] {
        for (uint8_t b : {0x01, 0x02, 0x03}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
            peer.send({b});
        }
    });
    start = Clock::now();
    const int got = ComRd(kPort, buffer, 4);
    waited = secondsSince(start);
    trickle.join();
    EXPECT_LT(got, 3);
    EXPECT_LT(waited, 0.4);
    FlushInQ(kPort);

    // A byte that arrives during the wait ends it early.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer.send({0xBE});
    });
    SetComTime(kPort, 5.0);
    start = Clock::now();
    EXPECT_EQ(ComRdByte(kPort), 0xBE);
    EXPECT_LT(secondsSince(start), 2.0);
    late.join();

    // A zero time-out looks once and does not wait.
    SetComTime(kPort, 0);
    start = Clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    EXPECT_LT(secondsSince(start), 0.1);
}

int hookCalls = 0;
void countHookCall() {
    ++hookCalls;
}

TEST_F(RealPortOnPty, WaitingCallsTheWaitHook) {
    ASSERT_EQ(open(), 0);
    rs232_SetWaitHook(&countHookCall);
    SetComTime(kPort, 0.2);
    hookCalls = 0;
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    // A window kept painted through a long read: a call after every slice of the wait, not one
    // at the end.
    EXPECT_GE(hookCalls, 3);

    // Bytes already there are read without a call.
    peer.send({0x63});
    ASSERT_EQ(waitForInput(1), 1);
    hookCalls = 0;
    EXPECT_EQ(ComRdByte(kPort), 0x63);
    EXPECT_EQ(hookCalls, 0);

    // Output that waits for the far end: the queue query does not wait, the drain wait sleeps
    // its time and reports what is left.
    std::vector<uint8_t> data = pattern(256 * 1024);
    ComWrt(kPort, data.data(), static_cast<int>(data.size()));
    auto start = Clock::now();
    EXPECT_GT(GetOutQLen(kPort), 0);
    EXPECT_LT(secondsSince(start), 0.02);
    EXPECT_GT(WaitOutQEmpty(kPort, 0.1), 0);
    EXPECT_GE(secondsSince(start), 0.09);
    FlushOutQ(kPort);
    EXPECT_EQ(GetOutQLen(kPort), 0);
}

TEST_F(RealPortOnPty, EveryLinkRateReachesTheKernel) {
    ASSERT_EQ(open(38400, 2), 0);
    EXPECT_EQ(peer.line().outputSpeed, 38400u);
    for (int index = 0; index < 9; ++index) {
        long baud = a_PCSpeedValue[index];
        SCOPED_TRACE(baud);
        // As the speed change reopens the port: no parity, 10 s.
        ASSERT_EQ(dwl12_0UartInit(kPort, baud, 0, 10), 1);
        ptytest::PtyPeer::Line line = peer.line();
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned long>(baud));
        EXPECT_EQ(line.inputSpeed, static_cast<unsigned long>(baud));
        EXPECT_EQ(line.cflag & ptytest::PtyPeer::charSizeMask(), ptytest::PtyPeer::eightBits());
        if (index >= 4) {
            EXPECT_TRUE(line.arbitraryRate);
        }
        // The line works at the new rate.
        ASSERT_EQ(ComWrtByte(kPort, 0xE9), 1);
        EXPECT_EQ(drain(), 0);
        EXPECT_EQ(peer.receive(1, 2000), std::vector<uint8_t>{0xE9});
    }
    // From a non-standard rate back to a standard one.
    ASSERT_EQ(dwl12_0UartInit(kPort, 38400, 2, 5), 1);
    EXPECT_EQ(peer.line().outputSpeed, 38400u);
    EXPECT_FALSE(peer.line().arbitraryRate);
}

TEST_F(RealPortOnPty, ArbitraryRateHelpersReadBackWhatTheySet) {
    testsupport::TempDir locks;
    auto device = dwllinux::TtySerialDevice::open(peer.slavePath(),
                                                  {{locks.path()}, {locks.path()}}, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->isPseudoTerminal());
    // The device's descriptor is not reachable from here; the master side acts on the same
    // settings.
    for (long baud : {220338L, 240740L, 260000L, 270833L, 302325L, 38400L}) {
        ASSERT_TRUE(dwllinux::setLineSpeed(peer.masterFd(), baud));
        EXPECT_EQ(dwllinux::lineSpeed(peer.masterFd()), baud);
        EXPECT_EQ(peer.line().outputSpeed, static_cast<unsigned long>(baud));
        EXPECT_EQ(peer.line().inputSpeed, static_cast<unsigned long>(baud));
    }
    EXPECT_FALSE(dwllinux::setLineSpeed(peer.masterFd(), 0));
    EXPECT_EQ(dwllinux::lineSpeed(-1), -1);
    EXPECT_FALSE(dwllinux::isPseudoTerminal(-1));
}

TEST_F(RealPortOnPty, WriteQueuesWithoutBlockingAndPollingDrainsIt) {
    // A fast arbitrary rate: the queue drains at the line's rate even on a pseudo-terminal.
    ASSERT_EQ(open(4608000, 0), 0);
    // More than the pseudo-terminal buffers while nobody reads its far end.
    std::vector<uint8_t> data = pattern(512 * 1024);
    auto start = Clock::now();
    ASSERT_EQ(ComWrt(kPort, data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_GT(GetOutQLen(kPort), 0);

    std::vector<uint8_t> received;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        received = peer.receive(data.size(), 10000);
        done = true;
    });
    EXPECT_EQ(drain(), 0);
    reader.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);

    // A pseudo-terminal takes bytes at once but keeps them queued for their wire time: 384
    // bytes at 38400 baud without parity take 0.1 s.
    ASSERT_EQ(open(38400, 0), 0);
    std::vector<uint8_t> small = pattern(384);
    start = Clock::now();
    ASSERT_EQ(ComWrt(kPort, small.data(), 384), 384);
    EXPECT_GT(GetOutQLen(kPort), 300);
    EXPECT_EQ(WaitOutQEmpty(kPort, 1.0), 0);
    EXPECT_GE(secondsSince(start), 0.095);
    EXPECT_LT(secondsSince(start), 0.5);
}

TEST_F(RealPortOnPty, StalledOutputIsDroppedAfterTheTimeOut) {
    ASSERT_EQ(open(460800, 0), 0);
    SetComTime(kPort, 0.2);
    std::vector<uint8_t> data = pattern(512 * 1024);
    ASSERT_EQ(ComWrt(kPort, data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    // Nobody reads the far end: polling must still end, after about the time-out.
    auto start = Clock::now();
    EXPECT_EQ(drain(5), 0);
    double waited = secondsSince(start);
    EXPECT_GE(waited, 0.15);
    EXPECT_LT(waited, 2.0);
    // The port is still usable once the far end reads again.
    peer.receive(1 << 20, 200);
    ASSERT_EQ(ComWrtByte(kPort, 0x5A), 1);
    EXPECT_EQ(drain(), 0);
    EXPECT_EQ(peer.receive(1, 2000), std::vector<uint8_t>{0x5A});
}

TEST_F(RealPortOnPty, FlushInDropsWhatArrived) {
    ASSERT_EQ(open(), 0);
    SetComTime(kPort, 0.2);
    peer.send({1, 2, 3});
    ASSERT_EQ(waitForInput(3), 3);
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
}

TEST_F(RealPortOnPty, ReopeningKeepsThePortAndWhatIsQueued) {
    ASSERT_EQ(open(38400, 2), 0);
    peer.send({0xC3, 0x00});
    SetComTime(kPort, 2);
    EXPECT_EQ(ComRdByte(kPort), 0xC3);
    // Reopen at the new rate without closing, as the speed change does.
    ASSERT_EQ(OpenComConfig(kPort, "COM5", 220338, 0, 8, 1, 65536, 65536), 0);
    EXPECT_EQ(ComRdByte(kPort), 0x00);
    EXPECT_EQ(peer.line().outputSpeed, 220338u);
}

TEST_F(RealPortOnPty, LostLineEndsWaitsAtOnce) {
    ASSERT_EQ(open(), 0);
    SetComTime(kPort, 2.0);
    peer.hangUp();
    auto start = Clock::now();
    // Every wait ends at once instead of spinning through the time-out.
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    uint8_t frame[5] = {0xC0, 0xFF, 0xFF, 0x02, 0xBE};
    EXPECT_EQ(ComWrt(kPort, frame, 5), kRS_UnknownIOError);
    EXPECT_EQ(drain(5), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    uint8_t buffer[4];
    EXPECT_EQ(ComRd(kPort, buffer, 4), 0);
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST_F(RealPortOnPty, OperatorCancelFromAnotherThreadWakesTheWaits) {
    ASSERT_EQ(open(460800, 0), 0);
    SetComTime(kPort, 10.0);
    std::thread stop([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rs232_Cancel();
    });
    auto start = Clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    stop.join();
    EXPECT_LT(secondsSince(start), 1.0);
    // Until cleared, waits give up at once.
    EXPECT_EQ(WaitInQ(kPort, 5.0), 0);
    EXPECT_EQ(WaitOutQEmpty(kPort, 5.0), 0);
    EXPECT_LT(secondsSince(start), 1.0);
    rs232_ClearCancel();
    peer.send({0x5A});
    EXPECT_EQ(ComRdByte(kPort), 0x5A);
}

// A cancel discards what is not sent yet, in our queue and the kernel's, and nothing more is
// queued while it stands: the far end gets no more than its own side of the pseudo-terminal had
// taken in before (the kernel's read buffer of 4 KB, which no flush from this side reaches).
TEST_F(RealPortOnPty, CancelDiscardsTheOutputNotYetSent) {
    ASSERT_EQ(open(460800, 0), 0);
    // More than the pseudo-terminal takes at once, while the far end reads nothing.
    std::vector<uint8_t> data = pattern(64 * 1024);
    ASSERT_EQ(ComWrt(kPort, data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    EXPECT_GT(GetOutQLen(kPort), 32 * 1024);
    rs232_Cancel();
    EXPECT_EQ(WaitOutQEmpty(kPort, 5.0), 0);
    EXPECT_EQ(GetOutQLen(kPort), 0);
    EXPECT_EQ(ComWrt(kPort, data.data(), 100), 0);
    EXPECT_EQ(ComWrtByte(kPort, 0x44), 0);
    EXPECT_EQ(GetOutQLen(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    const std::vector<uint8_t> arrived = peer.receive(data.size(), 100);
    EXPECT_LE(arrived.size(), 4096u);
    EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), data.begin())) << "only the first";

    // The port opens again and works once the cancel is cleared.
    rs232_ClearCancel();
    ASSERT_EQ(open(460800, 0), 0);
    ASSERT_EQ(ComWrtByte(kPort, 0x44), 1);
    EXPECT_EQ(drain(), 0);
    EXPECT_EQ(peer.receive(1, 2000), std::vector<uint8_t>{0x44});
}

// A wait for the output queue sleeps as long as the queued bytes take on the wire (10 bits a
// byte, 11 with parity) and ends when they are through, not at a step of its own.
TEST_F(RealPortOnPty, DrainWaitEndsWhenTheWireIsThrough) {
    // Each size takes just over 200 ms on the wire: a wait in 50 ms steps would overshoot by
    // some 40 ms, more than the margin a loaded machine needs.
    struct Case {
        int parity;
        size_t bytes;
    };
    const Case cases[] = {{0, 800}, {2, 730}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parity);
        const double wireSeconds = c.bytes * (c.parity != 0 ? 11 : 10) / 38400.0;
        ASSERT_EQ(open(38400, c.parity), 0);
        std::vector<uint8_t> data = pattern(c.bytes);
        auto start = Clock::now();
        ASSERT_EQ(ComWrt(kPort, data.data(), static_cast<int>(c.bytes)), static_cast<int>(c.bytes));
        EXPECT_EQ(WaitOutQEmpty(kPort, 1.0), 0);
        const double waited = secondsSince(start);
        EXPECT_GE(waited, wireSeconds - 0.001);
        EXPECT_LT(waited, wireSeconds + 0.03);
        EXPECT_EQ(peer.receive(c.bytes, 2000).size(), c.bytes);
    }
}

TEST_F(RealPortOnPty, PortLostMidWaitEndsItAtOnceAndIsLoggedOnce) {
    ASSERT_EQ(open(460800, 0), 0);
    SetComTime(kPort, 10.0);
    const int linesBefore = mv_NbCommentLine;
    // The adapter is pulled while the PC waits for an answer.
    std::thread pull([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer.hangUp();
    });
    auto start = Clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_TimeOutErr);
    const double waited = secondsSince(start);
    pull.join();
    EXPECT_GE(waited, 0.15);
    EXPECT_LT(waited, 1.0) << "the wait ran on towards its 10 s time-out";
    EXPECT_LT(WaitInQ(kPort, 5.0), 0);
    EXPECT_LT(WaitOutQEmpty(kPort, 5.0), 0);
    EXPECT_LT(secondsSince(start), 1.0);

    // One line naming the device and the system's error.
    EXPECT_EQ(mv_NbCommentLine, linesBefore + 1) << ma_Comment;
    const std::string line = ma_Comment;
    EXPECT_EQ(line.rfind(" Port lost: " + peer.slavePath() + ": ", 0), 0u) << line;
    EXPECT_GT(line.size(), (" Port lost: " + peer.slavePath() + ": x ").size() - 1) << line;
}

} // namespace

// Whole runs through the real-port backend against dwl-handset-sim on a pseudo-terminal: wake-up,
// upload, identification, GPIO, two speed changes (one to a non-standard rate), extension module,
// switch-off; and a run stopped in the middle of a sector, followed by one that works.
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "flash/dwl10fla.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "link/rs232_cancel.h"
#include "link/serial_backend.h"
#include "link/serial_device.h"
#include "platform/linux/serial_lock_file.h"
#include "platform/linux/serial_tty_device.h"
#include "session/dwl_context.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 4;

std::string simProgram() {
    std::string dir = testsupport::binaryDir();
    return (dir.empty() ? std::string(".") : dir) + "/app/dwl-handset-sim";
}

// The handset programs into the working folder: the samples when the tree has them, stand-ins
// of the same sizes otherwise.
void writeHandsetPrograms(const testsupport::TempDir& dir) {
    for (const char* name : {"dwl87.spm", "dwl88.spm"}) {
        std::vector<uint8_t> bytes =
            testsupport::readBytes(testsupport::sourceDir() + "/examples/" + name);
        if (bytes.empty())
            bytes =
                testsupport::sampleBytes(name[4] == '7' ? 87 : 88, name[4] == '7' ? 4000 : 20000);
        testsupport::writeBytes(dir.file(name), bytes);
    }
}

// Starts dwl-handset-sim with `args`; the device it serves, "" when it did not start.
std::string startSim(testsupport::ChildProcess& sim) {
    if (!sim.started()) return "";
    const std::string first = sim.readLine(5000);
    const std::string prefix = "dwl-handset-sim: ";
    if (first.rfind(prefix, 0) != 0) return "";
    return first.substr(prefix.size());
}

// Sleeps until a file named `name` is written or moved into place in `dir`, at most `msecs`. True
// when it was.
bool waitForFile(const std::string& dir, const std::string& name, int msecs) {
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0) return false;
    inotify_add_watch(watch, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
    bool written = access((dir + "/" + name).c_str(), F_OK) == 0;
    while (!written) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{watch, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        alignas(inotify_event) char events[4096];
        const ssize_t n = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->len > 0 && name == e->name) written = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    close(watch);
    return written;
}

// The real port, and the operator: Stop is pressed once `stopAt` bytes have been written.
class StopAfterBytes : public SerialDevice {
  public:
    StopAfterBytes(std::unique_ptr<SerialDevice> port, const long* stopAt, long* written)
        : port_(std::move(port)), stopAt_(stopAt), written_(written) {}
    int configure(long baud, int parity, int dataBits, int stopBits) override {
        return port_->configure(baud, parity, dataBits, stopBits);
    }
    void setTimeout(double seconds) override { port_->setTimeout(seconds); }
    void setDtr(bool on) override { port_->setDtr(on); }
    void flushIn() override { port_->flushIn(); }
    void flushOut() override { port_->flushOut(); }
    int write(const uint8_t* data, int count) override {
        const int rc = port_->write(data, count);
        if (rc > 0) *written_ += rc;
        if (*stopAt_ > 0 && *written_ >= *stopAt_) rs232_Cancel();
        return rc;
    }
    int outQueueLength() override { return port_->outQueueLength(); }
    int inQueueLength() override { return port_->inQueueLength(); }
    int readByte() override { return port_->readByte(); }
    int read(uint8_t* buffer, int count) override { return port_->read(buffer, count); }
    int waitReadable(double seconds) override { return port_->waitReadable(seconds); }
    int waitDrained(double seconds) override { return port_->waitDrained(seconds); }
    const char* lostReason() const override { return port_->lostReason(); }

  private:
    std::unique_ptr<SerialDevice> port_;
    const long* stopAt_;
    long* written_;
};

class HandsetSimOverRealPort : public ::testing::Test {
  protected:
    void TearDown() override {
        // Closes the port before the simulator goes.
        rs232_SetOpener(nullptr);
        rs232_ClearCancel();
        dwl_ClearComDevices();
    }
};

TEST_F(HandsetSimOverRealPort, BootsChangesSpeedSendsModuleAndSwitchesOff) {
    std::string program = simProgram();
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";

    testsupport::TempDir dir;
    writeHandsetPrograms(dir);
    testsupport::WorkingDirectory cwd(dir.path());

    testsupport::ChildProcess sim(program, {});
    const std::string device = startSim(sim);
    ASSERT_FALSE(device.empty()) << "dwl-handset-sim did not start";

    dwl_InstallSerialBackend();
    dwl_SetComDevice(kPort, device);
    const auto port = static_cast<uint8_t>(kPort);

    auto start = std::chrono::steady_clock::now();
    DownloadContext context = dwl_DefaultContext();
    context.ComPort = kPort;
    ASSERT_EQ(context.SpeedIndex, 3);

    // Each step needs the one before; stop at the first failure.
    ResultRecord boot = dwl1_0boot(&context);
    ASSERT_EQ(boot.family, 0) << "code " << boot.code;
    ASSERT_EQ(dwl11_8SetGPIO(context), 1);
    ASSERT_EQ(dwl11_50ChangeSpeed(10, port, 3), 1); // 460800
    ASSERT_EQ(dwl11_50ChangeSpeed(10, port, 4), 1); // 220338
    ASSERT_EQ(dwl1_4DownloadExtendMobule(port), 1);
    ASSERT_EQ(dwl11_7SwitchOffCommand(port), 1);
    dwl12_1UartStop(port);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 20.0);

    // The simulator did not fall over on what it got; it runs until it is stopped, and then
    // ends cleanly.
    EXPECT_TRUE(sim.running());
    int status = sim.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Stop in the middle of a sector: what the port had not sent yet is discarded before it closes,
// so that the handset, switched on again by the next opening, hears nothing of it before its
// wake-up; the next run then boots and writes as usual.
TEST_F(HandsetSimOverRealPort, ARunStoppedMidSectorLeavesTheLineCleanForTheNext) {
    std::string program = simProgram();
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program << " is not built";
    testsupport::TempDir dir;
    writeHandsetPrograms(dir);
    testsupport::WorkingDirectory cwd(dir.path());
    const std::string flash = testsupport::sourceDir() + "/examples/flash.txt";
    ASSERT_EQ(dwl10_101InitFlashDescriptionFrom(flash.c_str()), 1);
    // The handset writes its report when it sees the port closed.
    testsupport::ChildProcess sim(program, {"--flash", flash, "--report", dir.file("closed")});
    const std::string device = startSim(sim);
    ASSERT_FALSE(device.empty()) << "dwl-handset-sim did not start";
    dwl_SetComDevice(kPort, device);
    const auto port = static_cast<uint8_t>(kPort);
    long written = 0;
    long stopAt = 0;
    rs232_SetOpener([&](int, const char*, int* error) -> std::unique_ptr<SerialDevice> {
        dwllinux::OpenReport report;
        auto real = dwllinux::TtySerialDevice::open(device, dwllinux::systemLockFolders(), &report);
        *error = report.error;
        if (!real) return nullptr;
        return std::make_unique<StopAfterBytes>(std::move(real), &stopAt, &written);
    });
    const std::vector<uint8_t> image = testsupport::sampleBytes(1, 3 * 65536);

    // Each run: boot, link set-up, then the image from the start of the flash.
    auto run = [&](uint32_t length) {
        DownloadContext context = dwl_DefaultContext();
        context.ComPort = kPort;
        ResultRecord result = dwl1_0boot(&context);
        if (result.family == 0 && dwl11_8SetGPIO(context) != 1) result = {4, 1};
        if (result.family == 0 && dwl11_50ChangeSpeed(10, port, 3) != 1) result = {4, 2};
        if (result.family == 0 && dwl1_4DownloadExtendMobule(port) != 1) result = {4, 3};
        if (result.family == 0) {
            // Stop pressed in the second sector, once three of its 8 KB pieces are handed over.
            if (stopAt == 0 && length > 65536) stopAt = written + 13 + 65536 + 13 + 3 * 8192;
            result = dwl11_54Download(context, length, image.data(), 0x02000000);
        }
        dwl12_1UartStop(port);
        return result;
    };

    const ResultRecord stopped = run(static_cast<uint32_t>(image.size()));
    EXPECT_NE(stopped.family, 0);
    EXPECT_TRUE(rs232_Cancelled());
    ASSERT_TRUE(waitForFile(dir.path(), "closed", 5000)) << "the handset did not see the close";

    rs232_ClearCancel();
    stopAt = -1;
    const ResultRecord next = run(65536);
    EXPECT_EQ(next.family, 0) << "code " << next.code;
    EXPECT_TRUE(sim.running());
}

} // namespace

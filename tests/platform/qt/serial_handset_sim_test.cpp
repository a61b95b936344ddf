// A whole boot and set-up through the real-port backend against dwl-handset-sim on a
// pseudo-terminal: wake-up, upload, identification, GPIO, two speed changes (one to a
// non-standard rate), extension module, switch-off.
#include "boot/dwl1boot.h"
#include "command/dwl11command.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/qt/serial_backend.h"
#include "session/dwl_context.h"
#include "tests/support/child_process.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <signal.h>
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

class HandsetSimOverRealPort : public ::testing::Test {
  protected:
    void TearDown() override {
        // Closes the port before the simulator goes.
        rs232_SetOpener(nullptr);
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
    ASSERT_TRUE(sim.started());
    std::string first = sim.readLine(5000);
    const std::string prefix = "dwl-handset-sim: ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << "first line: " << first;
    std::string device = first.substr(prefix.size());
    ASSERT_FALSE(device.empty());

    dwl_qt_InstallSerialBackend();
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

    // The simulator did not fall over on what it got; it runs until it is stopped.
    EXPECT_TRUE(sim.running());
    int status = sim.stop();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

} // namespace

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
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kPort = 4;

// dwl-handset-sim as a child process; stopped when this goes.
class SimProcess {
  public:
    SimProcess(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~SimProcess() {
        stop();
        if (out_ >= 0) close(out_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Still running (not exited nor killed).
    bool running() {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // The first line the program prints, waiting at most `msecs`.
    std::string firstLine(int msecs) {
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
        while (out_ >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char c;
            if (read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    // Ends the program: politely first, then for good. Returns its wait status.
    int stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = -1;
                return status_;
            }
            usleep(10 * 1000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
};

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

    SimProcess sim(program, {});
    ASSERT_TRUE(sim.started());
    std::string first = sim.firstLine(5000);
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

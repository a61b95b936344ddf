// Where the programs find flash.txt and the handset programs once installed: the programs are
// copied into <prefix>/bin beside a data folder <prefix>/share/dwl, far from the source tree,
// and run from working folders with and without files of their own.
#include "tests/app/cli/dwl_program.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using clitest::examples;
using clitest::quoted;

namespace fs = std::filesystem;

namespace {

// examples/flash.txt with the first chip (the emulated handset's) renamed.
void writeFlashNaming(const std::string& path, const std::string& deviceName) {
    std::vector<uint8_t> text = testsupport::readBytes(examples() + "/flash.txt");
    std::string s(text.begin(), text.end());
    const std::string old = "DEVICE_NAME : 28F128W18T";
    s.replace(s.find(old), old.size(), "DEVICE_NAME : " + deviceName);
    testsupport::writeBytes(path, s);
}

void copyExample(const char* name, const std::string& folder) {
    fs::copy_file(examples() + "/" + name, folder + "/" + name);
}

// An installation: bin/dwl, bin/dwl-handset-sim and share/dwl.
struct Installed {
    testsupport::TempDir prefix;
    std::string bin, data;
    Installed() : bin(prefix.path() + "/bin"), data(prefix.path() + "/share/dwl") {
        fs::create_directories(bin);
        fs::create_directories(data);
        const std::string built = fs::path(clitest::dwlProgram()).parent_path().string();
        fs::copy_file(built + "/dwl", bin + "/dwl");
        fs::copy_file(built + "/dwl-handset-sim", bin + "/dwl-handset-sim");
        writeFlashNaming(data + "/flash.txt", "DATAFOLDER");
        for (const char* name : {"dwl87.spm", "dwl88.spm"})
            copyExample(name, data);
        for (const char* name : {"mmi.uir", "Utility.uir"})
            fs::copy_file(testsupport::sourceDir() + "/ui/" + name, data + "/" + name);
    }
    clitest::Run run(const std::string& args, const std::string& cwd) const {
        testsupport::TempDir scratch;
        const std::string command = "cd " + quoted(cwd) + " && timeout -k 5 60 " +
                                    quoted(bin + "/dwl") + " " + args + " 2>&1";
        clitest::Run result;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n = 0;
        while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.out.append(buffer, n);
        const int raw = pipe != nullptr ? pclose(pipe) : -1;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return result;
    }
};

// The installed handset program on a pseudo-terminal, for runs over a serial port.
struct HandsetOnPty {
    pid_t pid = -1;
    std::string device;
    explicit HandsetOnPty(const std::string& program) {
        int out[2];
        if (pipe(out) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        const std::string prefix = "dwl-handset-sim: ";
        if (line.rfind(prefix, 0) == 0) device = line.substr(prefix.size());
    }
    ~HandsetOnPty() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

TEST(DataFolder, InstalledProgramsFindTheirFilesAndAWorkingFolderWins) {
    const Installed installed;
    testsupport::TempDir empty;
    testsupport::TempDir own; // a working folder of its own
    writeFlashNaming(own.file("flash.txt"), "WORKFOLDER");
    copyExample("dwl87.spm", own.path());
    copyExample("dwl88.spm", own.path());
    testsupport::TempDir descriptionOnly;
    writeFlashNaming(descriptionOnly.file("flash.txt"), "WORKFOLDER");

    struct Case {
        const char* what;
        const std::string* cwd;
        int status;
        const char* expected;
    };
    const Case cases[] = {
        {"nothing here: all from the data folder", &empty.path(), 0, "\"device\":\"DATAFOLDER\""},
        {"a working folder of its own", &own.path(), 0, "\"device\":\"WORKFOLDER\""},
        // The installed handset programs are not mixed into a working folder.
        {"flash.txt without the handset programs", &descriptionOnly.path(), 42,
         "BOOT : cannot load the bootstrap"},
    };
    for (const Case& c : cases) {
        const clitest::Run run = installed.run("boot --sim --json", *c.cwd);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.out;
        EXPECT_TRUE(run.has(c.expected)) << c.what << "\n" << run.out;
    }
}

TEST(DataFolder, StandInHandsetProgramsServeTheEmulatedHandsetOnly) {
    const Installed installed;
    testsupport::TempDir empty;
    // Over a serial port dwl cannot tell the emulated handset from a real one: flash.txt comes
    // from the data folder, the stand-in bootstrap is not sent.
    const HandsetOnPty handset(installed.bin + "/dwl-handset-sim");
    ASSERT_FALSE(handset.device.empty());
    const clitest::Run run = installed.run("boot --port " + quoted(handset.device), empty.path());
    if (run.has("no serial port support")) GTEST_SKIP() << "this build has no serial ports";
    EXPECT_EQ(run.status, 42) << run.out;
    EXPECT_TRUE(run.has("BOOT : cannot load the bootstrap")) << run.out;
    // Named as the working folder, the data folder serves a whole run.
    const clitest::Run named = installed.run("boot --json --port " + quoted(handset.device) +
                                                 " --workdir " + quoted(installed.data),
                                             empty.path());
    EXPECT_EQ(named.status, 0) << named.out;
    EXPECT_TRUE(named.has("\"device\":\"DATAFOLDER\"")) << named.out;
}

} // namespace

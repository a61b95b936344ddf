#include "app/cli/handset_process.h"

#include "app/cli/run_settings.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dwlcli {

namespace {

// The running handset program, for the signal handler: an interrupted demo takes it along.
volatile pid_t g_handsetPid = -1;

void stopHandsetAndDie(int signal) {
    if (g_handsetPid > 0) kill(g_handsetPid, SIGTERM);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

} // namespace

std::string handsetProgram() {
    const std::string dir = programDir();
    for (const std::string& candidate :
         {dir + "/dwl-handset-sim", dir + "/../handset_sim/dwl-handset-sim"}) {
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

HandsetProcess::~HandsetProcess() {
    stop();
}

bool HandsetProcess::start(const std::string& program, const std::vector<std::string>& args,
                           int timeoutMs, std::string* why) {
    int out[2];
    if (pipe(out) != 0) {
        *why = std::string("cannot make a pipe: ") + strerror(errno);
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // The handset ends with this program however it ends (a crash, SIGKILL), and not only
        // through the signal handler below. Only async-signal-safe calls here.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const int rc = pid_ < 0 ? errno : 0;
    close(out[1]);
    out_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        *why = "cannot start " + program + ": " + strerror(rc);
        return false;
    }

    // The first line names the device: "dwl-handset-sim: /dev/pts/N".
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            *why = program + " named no device in time";
            stop();
            return false;
        }
        pollfd p{out_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        char c = 0;
        if (ready <= 0 || read(out_, &c, 1) != 1) {
            *why = program + " ended before it named its device";
            stop();
            return false;
        }
        if (c == '\n') break;
        line += c;
    }
    const std::string prefix = "dwl-handset-sim: ";
    if (line.rfind(prefix, 0) != 0 || line.size() == prefix.size()) {
        *why = program + " said \"" + line + "\" instead of its device";
        stop();
        return false;
    }
    device_ = line.substr(prefix.size());
    g_handsetPid = pid_;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        std::signal(s, stopHandsetAndDie);
    // A reader that goes away (dwl demo | head) must not leave the handset running.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void HandsetProcess::stop() {
    if (pid_ > 0) {
        g_handsetPid = -1;
        kill(pid_, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 200 && !gone; i++) {
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                gone = true;
            else
                usleep(10 * 1000);
        }
        if (!gone) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
}

} // namespace dwlcli

#include "app/cli/handset_process.h"

#include "app/run/run_settings.h"
#include "link/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
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
    ChildOptions options;
    options.out = kChildPipe;
    options.parentDeathSignal = SIGTERM;
    if (!dwl_StartProgram(program, args, options, &child_)) {
        *why = "cannot start " + program + ": " + strerror(child_.error);
        return false;
    }
    pid_ = child_.pid;
    out_ = child_.out;

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
        dwl_EndChild(&child_, 2000);
        pid_ = -1;
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
}

} // namespace dwlcli

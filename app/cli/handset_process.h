// dwl-handset-sim as a child process: the emulated handset on a pseudo-terminal.
#pragma once

#include "link/child_process.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace dwlcli {

// The emulated handset program beside this one; empty when it is not there.
std::string handsetProgram();

class HandsetProcess {
  public:
    HandsetProcess() = default;
    ~HandsetProcess();
    HandsetProcess(const HandsetProcess&) = delete;
    HandsetProcess& operator=(const HandsetProcess&) = delete;

    // Starts the program and waits (at most timeoutMs) for the device it prints first. False
    // with the reason in *why when it did not come up.
    bool start(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
               std::string* why);
    const std::string& device() const { return device_; }
    // Stops it (SIGTERM, then SIGKILL); harmless when it is not running.
    void stop();

  private:
    ChildHandle child_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string device_;
};

} // namespace dwlcli

// A program the tests start (dwl-handset-sim, dwl sim): its standard output on a pipe, and its
// end bound to the test's. The child gets the parent-death signal, so a test that crashes or is
// killed takes it along instead of leaving it holding the test's output open (ctest would then
// wait for its time-out).
#pragma once

#include "link/child_process.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
  public:
    // Starts program with args; see started(). withInput: its standard input is a pipe that
    // write() fills, else it inherits the test's.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 bool withInput = false);
    ~ChildProcess(); // stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Still running (not exited nor killed).
    bool running();
    // The next line the program prints, without its '\n', waiting at most msecs in all.
    std::string readLine(int msecs);
    // Writes to its standard input (withInput); false when it did not take it all.
    bool write(const std::string& text);
    // Ends the program: SIGTERM, then SIGKILL after two seconds. Returns its wait status.
    int stop();

  private:
    ChildHandle child_;
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    int status_ = 0;
};

} // namespace testsupport

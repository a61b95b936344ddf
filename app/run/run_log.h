// The log file of a run (--log): every operator-log line with its local time, and at the end
// the resent sectors and the result line. Every write and the close are checked; the first
// failure is kept for the end of the run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace dwlcli {

class RunLog {
  public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Creates or empties the file (append: adds to it). False, with errno set, when it cannot
    // be written.
    bool open(const std::string& path, bool append = false);
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    // "YYYY-MM-DD HH:MM:SS.mmm  text"
    void line(const std::string& text);
    // From now on lines are kept back, each with its time, until release(): written then
    // (keep), or dropped. A station holds the lines of its waits for a handset.
    void hold();
    void release(bool keep);
    // Closes the file: 0, or the system's error number of the first write or of the close that
    // failed. Nothing to close gives 0.
    int close();
    // The system's error number of the first write or close that failed; 0 while none has.
    int error() const { return error_; }

  private:
    void noteError();
    void write(const std::string& stampedLine);

    FILE* file_ = nullptr;
    std::string path_;
    int error_ = 0;
    bool holding_ = false;
    std::vector<std::string> held_;
};

} // namespace dwlcli

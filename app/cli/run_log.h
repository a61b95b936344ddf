// The log file of a run (--log): every operator-log line with its local time, and at the end
// the resent sectors and the result line. Every write and the close are checked; the first
// failure is kept for the end of the run.
#pragma once

#include <cstdio>
#include <string>

namespace dwlcli {

class RunLog {
  public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Creates or empties the file. False, with errno set, when it cannot be written.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    // "YYYY-MM-DD HH:MM:SS.mmm  text"
    void line(const std::string& text);
    // Closes the file: 0, or the system's error number of the first write or of the close that
    // failed. Nothing to close gives 0.
    int close();

  private:
    void noteError();

    FILE* file_ = nullptr;
    std::string path_;
    int error_ = 0;
};

} // namespace dwlcli

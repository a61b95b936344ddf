#include "app/run/run_log.h"

#include "session/local_time.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace dwlcli {

namespace {

std::string timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const long ms =
        static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    dwl_LocalTime(t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    char out[48];
    snprintf(out, sizeof out, "%s.%03ld", text, ms);
    return out;
}

} // namespace

RunLog::~RunLog() {
    if (file_ != nullptr) fclose(file_);
}

bool RunLog::open(const std::string& path, bool append) {
    file_ = fopen(path.c_str(), append ? "a" : "w");
    path_ = path;
    error_ = 0;
    return file_ != nullptr;
}

void RunLog::noteError() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void RunLog::line(const std::string& text) {
    if (file_ == nullptr) return;
    const std::string stamped = timestamp() + "  " + text;
    if (holding_)
        held_.push_back(stamped);
    else
        write(stamped);
}

void RunLog::write(const std::string& stampedLine) {
    errno = 0;
    // Each line goes out at once: a run that ends abruptly keeps what it logged.
    if (fprintf(file_, "%s\n", stampedLine.c_str()) < 0 || fflush(file_) != 0) noteError();
}

void RunLog::hold() {
    holding_ = true;
}

void RunLog::release(bool keep) {
    holding_ = false;
    if (keep && file_ != nullptr)
        for (const std::string& stamped : held_)
            write(stamped);
    held_.clear();
}

int RunLog::close() {
    if (file_ == nullptr) return error_;
    errno = 0;
    if (ferror(file_) != 0) noteError();
    if (fclose(file_) != 0) noteError();
    file_ = nullptr;
    held_.clear();
    return error_;
}

} // namespace dwlcli

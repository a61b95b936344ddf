#include "app/cli/progress_meter.h"

#include <chrono>

namespace dwlcli {

namespace {

constexpr int kBarWidth = 30;
// A bar on a terminal is redrawn at most this often (real seconds).
constexpr double kRedrawInterval = 0.1;

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string timeText(double seconds) {
    if (seconds < 0 || seconds > 359999) return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

ProgressMeter::ProgressMeter(FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

std::string ProgressMeter::barText(const std::string& name, int percent, uint32_t size,
                                   double seconds, bool withBar) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    const double done = static_cast<double>(size) * percent / 100.0;
    const double rate = seconds > 0 ? done / seconds : 0.0;
    const double left = rate > 0 ? (static_cast<double>(size) - done) / rate : -1.0;
    std::string text = name;
    if (withBar) {
        const int filled = percent * kBarWidth / 100;
        text += " [" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(kBarWidth - filled), '.') + "]";
    }
    char numbers[96];
    snprintf(numbers, sizeof numbers, " %3d%%  %.0f B/s  %s left", percent, rate,
             percent >= 100 ? "00:00" : timeText(left).c_str());
    return text + numbers;
}

void ProgressMeter::beginImage(const std::string& name, uint32_t size, double now) {
    endImage();
    active_ = true;
    drawn_ = false;
    name_ = name;
    size_ = size;
    start_ = now;
    lastNow_ = now;
    percent_ = -1;
    lastPlainStep_ = -1;
    lastDraw_ = -1.0;
}

void ProgressMeter::update(int percent, double now) {
    if (!active_ || percent == percent_) return;
    percent_ = percent;
    lastNow_ = now;
    if (terminal_) {
        const double wall = wallSeconds();
        if (percent < 100 && lastDraw_ >= 0 && wall - lastDraw_ < kRedrawInterval) return;
        lastDraw_ = wall;
        draw(now);
        if (percent >= 100) endImage();
        return;
    }
    const int step = percent / 10;
    if (step == lastPlainStep_) return;
    lastPlainStep_ = step;
    draw(now);
    if (percent >= 100) active_ = false;
}

void ProgressMeter::draw(double now) {
    const std::string text = barText(name_, percent_, size_, now - start_, terminal_);
    if (terminal_) {
        fprintf(out_, "\r\033[K%s", text.c_str());
    } else {
        fprintf(out_, "%s\n", text.c_str());
    }
    drawn_ = true;
    fflush(out_);
}

void ProgressMeter::endImage() {
    if (!active_) return;
    // The last state is shown in full before the bar is left.
    if (terminal_ && percent_ >= 0) {
        if (percent_ < 100) draw(lastNow_);
        fprintf(out_, "\n");
        fflush(out_);
    }
    active_ = false;
    drawn_ = false;
}

void ProgressMeter::clearLine() {
    if (terminal_ && active_ && drawn_) {
        fprintf(out_, "\r\033[K");
        fflush(out_);
    }
}

void ProgressMeter::redraw() {
    if (terminal_ && active_ && drawn_) draw(lastNow_);
}

} // namespace dwlcli

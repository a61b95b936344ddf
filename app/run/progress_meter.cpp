#include "app/run/progress_meter.h"

#include "link/wire_clock.h"
#include "session/dwl_progress.h"

#include <chrono>

namespace dwlcli {

namespace {

constexpr int kBarWidth = 30;
// A bar on a terminal is redrawn at most this often (real seconds).
constexpr double kRedrawInterval = 0.1;

// Name, bar and percent.
std::string head(const std::string& name, int percent, bool withBar) {
    std::string text = name;
    if (withBar) {
        const int filled = percent * kBarWidth / 100;
        text += " [" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(kBarWidth - filled), '.') + "]";
    }
    char number[16];
    snprintf(number, sizeof number, " %3d%%", percent);
    return text + number;
}

} // namespace

ProgressMeter::ProgressMeter(FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

std::string ProgressMeter::barText(const std::string& name, uint32_t done, uint32_t size,
                                   double seconds, bool withBar) {
    const ImageProgress p = dwl_ImageProgress(done, size, seconds);
    char numbers[96];
    snprintf(numbers, sizeof numbers, "  %.0f B/s  %s left", p.rate,
             dwl_TimeText(p.secondsLeft).c_str());
    return head(name, p.percent, withBar) + numbers;
}

std::string ProgressMeter::finalText(const std::string& name, uint32_t done, uint32_t size,
                                     double seconds, bool written, bool withBar) {
    const ImageProgress p = dwl_ImageProgress(done, size, seconds, written);
    char numbers[96];
    if (written)
        snprintf(numbers, sizeof numbers, "  %.0f B/s  in %s", p.rate,
                 dwl_TimeText(seconds).c_str());
    else
        snprintf(numbers, sizeof numbers, "  %.0f B/s  stopped", p.rate);
    return head(name, p.percent, withBar) + numbers;
}

std::string ProgressMeter::text() const {
    const double seconds = lastNow_ - start_;
    return finished_ ? finalText(name_, done_, size_, seconds, written_, terminal_)
                     : barText(name_, done_, size_, seconds, terminal_);
}

void ProgressMeter::beginImage(const std::string& name, uint32_t size, double now) {
    endImage();
    active_ = true;
    drawn_ = false;
    finished_ = false;
    written_ = false;
    name_ = name;
    size_ = size;
    done_ = 0;
    start_ = now;
    lastNow_ = now;
    // A plain line first at the first tenth; a bar at once.
    lastPlainStep_ = 0;
    lastDraw_ = -1.0;
    if (terminal_) draw(text());
}

void ProgressMeter::update(uint32_t done, double now) {
    if (!active_ || finished_) return;
    done_ = done > size_ ? size_ : done;
    lastNow_ = now;
    if (terminal_) {
        const double wall = dwl_MonotonicSeconds();
        if (lastDraw_ >= 0 && wall - lastDraw_ < kRedrawInterval) return;
        lastDraw_ = wall;
        draw(text());
        return;
    }
    // One plain line at every tenth; the whole image is the final line's.
    const int step = dwl_ImageProgress(done_, size_, 0.0).percent / 10;
    if (step >= 10 || step == lastPlainStep_) return;
    lastPlainStep_ = step;
    draw(text());
}

void ProgressMeter::finishImage(bool written, double now) {
    if (!active_ || finished_) return;
    finished_ = true;
    written_ = written;
    if (written) done_ = size_;
    lastNow_ = now;
    draw(text());
    endImage();
}

void ProgressMeter::draw(const std::string& line) {
    if (terminal_) {
        fprintf(out_, "\r\033[K%s", line.c_str());
    } else {
        fprintf(out_, "%s\n", line.c_str());
    }
    drawn_ = true;
    fflush(out_);
}

void ProgressMeter::endImage() {
    if (!active_) return;
    // The last state is shown in full before the bar is left.
    if (terminal_) {
        if (!finished_) draw(text());
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
    if (terminal_ && active_ && drawn_) draw(text());
}

} // namespace dwlcli

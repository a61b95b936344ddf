// The progress of the image being written, from the main panel's progress control: on a
// terminal one bar per image redrawn in place (percent, bytes per second, time left), otherwise
// a plain line at every tenth of the image.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace dwlcli {

class ProgressMeter {
  public:
    // out: where the bar goes; terminal: redraw in place.
    ProgressMeter(FILE* out, bool terminal);

    // An image step begins: name for the bar and its size in bytes; now in seconds.
    void beginImage(const std::string& name, uint32_t size, double now);
    // The progress control shows percent.
    void update(int percent, double now);
    // Ends the bar of the current image (a newline on a terminal).
    void endImage();
    // Before another line is printed on the same stream: clears a bar drawn in place.
    void clearLine();
    // After that line: draws the bar again.
    void redraw();

    bool active() const { return active_; }
    // The text of the bar for the given state (without line control characters).
    static std::string barText(const std::string& name, int percent, uint32_t size, double seconds,
                               bool withBar);

  private:
    void draw(double now);

    FILE* out_;
    bool terminal_;
    bool active_ = false;
    bool drawn_ = false;
    std::string name_;
    uint32_t size_ = 0;
    double start_ = 0.0;
    double lastNow_ = 0.0;
    double lastDraw_ = -1.0;
    int percent_ = -1;
    int lastPlainStep_ = -1;
};

} // namespace dwlcli

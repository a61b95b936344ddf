// The progress of the image being written, from the image step's events: on a terminal one bar
// per image redrawn in place (percent, bytes per second, time left), otherwise a plain line at
// every tenth of the image; when the image is through, its mean rate and how long it took.
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
    // done bytes of the image are on the line.
    void update(uint32_t done, double now);
    // The transfer of the image ended (written: the whole image is in): its last state.
    void finishImage(bool written, double now);
    // Ends the bar of the current image (a newline on a terminal).
    void endImage();
    // Before another line is printed on the same stream: clears a bar drawn in place.
    void clearLine();
    // After that line: draws the bar again.
    void redraw();

    bool active() const { return active_; }
    // The text of the bar (without line control characters): done of size bytes after seconds;
    // an image whose transfer ended shows its mean rate and time, or that it stopped.
    static std::string barText(const std::string& name, uint32_t done, uint32_t size,
                               double seconds, bool withBar);
    static std::string finalText(const std::string& name, uint32_t done, uint32_t size,
                                 double seconds, bool written, bool withBar);

  private:
    void draw(const std::string& text);
    std::string text() const;

    FILE* out_;
    bool terminal_;
    bool active_ = false;
    bool drawn_ = false;
    bool finished_ = false;
    bool written_ = false;
    std::string name_;
    uint32_t size_ = 0;
    uint32_t done_ = 0;
    double start_ = 0.0;
    double lastNow_ = 0.0;
    double lastDraw_ = -1.0;
    int lastPlainStep_ = -1;
};

} // namespace dwlcli

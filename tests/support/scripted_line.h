// A peer on the serial line that answers from a script, for tests that need an exact byte
// stream from the handset side (a garbled reply, a reply cut short). Runs on a virtual clock:
// a read with nothing to read costs the time-out in virtual time only.
#pragma once

#include "link/serial_device.h"
#include "session/dwl_clock.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedLine : public ClockSource {
  public:
    // Called after every write with the bytes just written; may queue replies.
    using Responder = std::function<void(const std::vector<uint8_t>& written, ScriptedLine&)>;

    ScriptedLine(); // installs itself as serial backend and clock
    ~ScriptedLine() override;

    // Bytes the peer sends; readable at once.
    void reply(std::vector<uint8_t> bytes);
    void setResponder(Responder responder);
    // Makes open fail with this error (0: open succeeds).
    void failOpenWith(int error);
    // Makes the settings fail with this error (0: they are taken).
    void failConfigureWith(int error) { configureError_ = error; }
    // The device goes away (a pulled adapter): from now on reads and writes fail with
    // kRS_UnknownIOError and the device names this reason.
    void lose(const std::string& reason) { lostReason_ = reason; }

    // Everything the PC wrote, in order.
    const std::vector<uint8_t>& written() const { return written_; }
    // Each write call as it was made.
    const std::vector<std::vector<uint8_t>>& writes() const { return writes_; }
    // Line settings applied by each open/reopen: baud, parity.
    struct Setting {
        long baud;
        int parity;
        double timeout;
    };
    const std::vector<Setting>& settings() const { return settings_; }
    const std::vector<bool>& dtrChanges() const { return dtr_; }
    // A rate the port does not take: configure refuses it (0: every rate goes).
    long refusedBaud = 0;
    std::vector<std::string> openedNames;
    int closes = 0;
    int outQueuePolls = 0;

    double now() override { return now_; }
    void advance(double seconds) { now_ += seconds; }
    // The calendar runs with the clock of durations until someone sets it, as an operator or
    // NTP would: by `seconds`, back when negative.
    double wallNow() override { return now_ + wallSetBy_; }
    void setWallClockBy(double seconds) { wallSetBy_ += seconds; }
    // Called whenever a poll of the empty input lets time pass: a peer that acts later.
    void whilePolling(std::function<void(ScriptedLine&)> act) { whilePolling_ = std::move(act); }
    size_t pending() const { return in_.size(); }

  private:
    friend class ScriptedDevice;
    std::deque<uint8_t> in_;
    std::vector<uint8_t> written_;
    std::vector<std::vector<uint8_t>> writes_;
    std::vector<Setting> settings_;
    std::vector<bool> dtr_;
    Responder responder_;
    double now_ = 1.8e9;
    double wallSetBy_ = 0.0;
    std::function<void(ScriptedLine&)> whilePolling_;
    double timeout_ = 5.0;
    int openError_ = 0;
    int configureError_ = 0;
    std::string lostReason_;
    ClockSource* previousClock_ = nullptr;
};

} // namespace testsupport

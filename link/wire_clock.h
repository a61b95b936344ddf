// The time bytes take on the wire. A pseudo-terminal takes some 18 KB at once and shows no
// output queue: the bytes handed to one are counted as queued for as long as they would take on
// a wire at the line's rate, so that the waits for the output queue and the progress rates behave
// as on a UART. The same rate tells a wait for the output queue how long to sleep.
// The serial backends of every system use it (platform/linux, platform/windows).
#pragma once

// Seconds of the monotonic clock.
double dwl_MonotonicSeconds();

class WireClock {
  public:
    // The line's settings: a start bit, the data bits, the parity bit if any, the stop bits.
    void setLine(long baud, int parity, int dataBits, int stopBits);
    // Seconds `count` bytes take on the wire.
    double secondsFor(long count) const;
    // `count` bytes were handed to the line at `now`; they follow those still on the wire.
    void handed(long count, double now);
    // Of the bytes handed, those still on the wire at `now`.
    long queued(double now) const;
    // When the last byte handed has left the wire.
    double freeAt() const { return freeAt_; }
    // The line was emptied.
    void clear();

  private:
    double byteSeconds_ = 11.0 / 38400; // the boot line, 8E1
    double freeAt_ = 0.0;               // when the last byte handed has left the wire
};

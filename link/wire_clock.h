// The time bytes take on the wire. A pseudo-terminal takes some 18 KB at once and shows no
// output queue: the bytes handed to one are counted as queued for as long as they would take on
// a wire at the line's rate, so that the waits for the output queue and the progress rates behave
// as on a UART. The same rate tells a wait for the output queue how long to sleep.
// The serial backends of every system use it (platform/linux, platform/windows).
#pragma once

// Seconds of the monotonic clock: dwl_Now() (session/dwl_clock.h), the one clock of every
// duration, which a test or the emulator may replace by a virtual one.
double dwl_MonotonicSeconds();

// What every backend holds of a line, whatever its system.
// The settings a port opens with, until the run configures it: the boot line's rate.
constexpr long kWireOpenBaud = 38400;
// What the far end of a pseudo-terminal has taken into its own buffer is out of reach of a flush
// on this side: up to this many bytes.
constexpr long kWireFarEndBuffer = 4096;
// How far the far end of a pseudo-terminal may lag behind the modelled wire: it reads in slices
// of a few milliseconds, and gets the processor when it gets it.
constexpr double kWireFarEndLagSeconds = 0.1;
// Whether the rate a driver holds is the one asked for: adapters round to what their divider
// can make, by up to 3 %.
bool dwl_WireSpeedMatches(long held, long wanted);

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

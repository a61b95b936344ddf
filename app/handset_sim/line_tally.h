// What the line carried during one opening of the port, from the wake-up byte the PC answered
// to the last byte to the PC, and the report of it written when the PC closes the port.
#pragma once

#include "sim/handset_engine.h"

#include <string>

// The protocol never has both directions busy at once, so the run can take no less than the
// wire time of its bytes plus the handset's own waits; the span over that is its wire ratio.
class LineTally {
  public:
    // A byte from the PC came off the wire at `at`, after `byteTime` on it. The first one
    // answers a wake-up byte that was on the wire just before.
    void fromPc(double at, double byteTime);
    // A byte to the PC, through at `at`; not counted before the PC's first byte.
    void toPc(double at, double byteTime);
    // True once the PC has sent a byte during this opening.
    bool started() const { return start_ >= 0.0; }

    double span() const { return end_ - start_; }
    double busy() const { return busy_; }
    unsigned long long bytesToHandset() const { return toHandset_; }
    unsigned long long bytesToPc() const { return toPc_; }

  private:
    double start_ = -1.0; // when the wake-up byte the PC answered went on the wire
    double end_ = 0.0;    // when the last byte of either direction was through
    double busy_ = 0.0;   // wire time of every byte, both directions
    unsigned long long toHandset_ = 0;
    unsigned long long toPc_ = 0;
};

// Writes the report of one opening to path: the line's figures, the handset's own waits, and a
// digest of each stretch of flash written since the handset's power-on and, with
// `tfsWritten`, of the data of the TFS files received. False when the file cannot be written.
bool WriteLineReport(const std::string& path, const LineTally& tally,
                     const sim::HandsetEngine& engine, bool tfsWritten);

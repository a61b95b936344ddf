// The longest time a whole run may take when every read the PC makes runs to its time-out: the
// bound that no run, whatever the handset answers, may exceed on a line that carries no data
// slower than the clock (virtual time, unpaced). Each count below is the number of reads of one
// exchange; a wait that ends at the first silence (the wake-up, the hunt for the bootstrap's
// answer) costs one time-out.
#pragma once

#include "procedure/dwl3_modes.h"

#include <cstdint>

namespace budget {

constexpr double kBootTimeout = 5.0;  // read time-out at the boot speed
constexpr double kFastTimeout = 10.0; // read time-out after the speed change
// The sector acknowledgement wait counts whole seconds: more than 10 of them can be up to 12.
constexpr double kSectorAckWait = 12.0;
// Slack for bytes that the handset spreads over time (announcements, noise before the wake-up).
constexpr double kSlack = 1.0;

struct RunShape {
    int mode = 1;
    int speedIndex = 3;
    int pmu = 0;
    bool format = false;        // the TFS ogm step formats instead of downloading
    uint32_t binarySectors = 0; // sectors the binary image covers
    uint32_t ogmSectors = 0;    // sectors the ogm image covers
    uint32_t tfsDirs = 0;
    uint32_t tfsFiles = 0;
    uint32_t tfsBlocks = 0; // data blocks of all files (an empty file has one)
};

inline bool ModeWrites(int mode, uint8_t image) {
    const DownloadMode* m = dwl3_14Mode(mode);
    return m != nullptr && m->Writes[image];
}
inline bool ModeWritesBinary(int mode) {
    return ModeWrites(mode, DWL_IMAGE_BINARY);
}
inline bool ModeWritesOgm(int mode) {
    return ModeWrites(mode, DWL_IMAGE_OGM);
}
inline bool ModeWritesTfs(int mode) {
    return ModeWrites(mode, DWL_IMAGE_TFS_OGM);
}

// Worst case of one sector download: each attempt waits for the acknowledgement and reads up to
// four checksum bytes; a sector is tried at most three times, an image survives four failures.
inline double SectorDownloadSeconds(uint32_t sectors) {
    if (sectors == 0) return 0.0;
    const double attempts = static_cast<double>(sectors) + 4.0;
    return attempts * (kSectorAckWait + 4 * kFastTimeout);
}

inline double WorstCaseSeconds(const RunShape& s) {
    // Wake-up, bootstrap answer, 0xA0, two ignored bytes, identification (0xC2, maker, device,
    // extra byte).
    double t = (1 + 1 + 1 + 2 + 4) * kBootTimeout;
    if (s.speedIndex > 2) t += 2 * kBootTimeout; // GPIO: C0 C9
    // Speed change, four attempts: C0, C3, 00 and four speed controls each.
    t += 4 * (3 + 4) * kFastTimeout;
    if (s.pmu == 1) t += 3 * 3 * kFastTimeout; // PMU, three attempts of C0 CF xx
    t += (1 + 4 + 1) * kFastTimeout;           // extension module: C0, four bytes, 63
    if (ModeWritesBinary(s.mode)) t += SectorDownloadSeconds(s.binarySectors);
    if (ModeWritesOgm(s.mode)) t += SectorDownloadSeconds(s.ogmSectors);
    if (ModeWritesTfs(s.mode)) {
        if (s.format) t += 8 * kFastTimeout; // the format stages
        // Start (and error number), version, directory count, each directory, each header,
        // block and close, end of transfer, four checksum bytes.
        t += (2 + 3 + 3 + 3.0 * s.tfsDirs + 3.0 * s.tfsFiles * 2 + 3.0 * s.tfsBlocks + 3 + 4) *
             kFastTimeout;
    }
    t += 1 * kFastTimeout; // switch-off
    return t + kSlack;
}

} // namespace budget

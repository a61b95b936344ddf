// How an emulated handset is made: its chip, its power, its pace, and the faults it meets at
// its reply points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Reply points of the handset, in the order a run meets them. Used to aim faults.
enum class Step {
    None = 0,
    WakeUp,           // 0xBE announcements of the boot loader
    BootstrapHello,   // 0x44 after the start frame
    BootstrapRuns,    // 0xA0 and the two bytes behind it
    FlashIdent,       // 0xC2, manufacturer code, device code (, extra byte)
    Gpio,             // C0 C9
    SpeedAccept,      // C0 after 0xE0
    SpeedAck,         // C3 00 after the speed frame
    SpeedControl,     // CA
    Pmu,              // C0 CF xx
    ExtensionAccept,  // C0 and four bytes after 0xEE
    ExtensionDone,    // 0x63 after the module
    SectorAck,        // CC + checksum, or CD + detail
    TfsStart,         // 0x77 / A1 xx / A5 xx
    TfsVersionAck,    // 3 bytes, third 0x72
    TfsDirCountAck,   // third 0x6F
    TfsDirAck,        // third 0x73
    TfsFileHeaderAck, // third 0x7D
    TfsDataAck,       // third 0x7E
    TfsFileClosed,    // third 0x7F
    TfsEndAck,        // third 0x7A
    TfsChecksum,      // 4 bytes, least significant first
    Format,           // 57 44 91 92 93 22 23 20
    SwitchOff,        // C0 after 0xE8
    Count
};
const char* StepName(Step step);
// The reply point of a name as StepName gives it (case-insensitive); Step::Count when unknown.
Step ParseStep(const char* name);

struct FaultConfig {
    uint64_t seed = 1;

    // The handset stops answering at this reply point (its nth occurrence, from 0) and stays
    // silent from then on.
    Step silentFrom = Step::None;
    int silentOccurrence = 0;

    // One reply of this point (its nth occurrence) carries a wrong byte: byte `wrongByteIndex`
    // of the reply is replaced by `wrongByte` (or by a random other value when wrongByte < 0).
    Step wrongReplyAt = Step::None;
    int wrongReplyOccurrence = 0;
    int wrongByteIndex = 0;
    int wrongByte = -1;

    // Random bytes (never 0xBE) sent before the first 0xBE.
    int noiseBeforeWakeUp = 0;

    // Sectors (by handset address) answered 0xCD <rejectDetail> on their first rejectTimes
    // attempts.
    std::vector<uint32_t> rejectSectors;
    int rejectTimes = 1;
    uint8_t rejectDetail = 0x01;

    // Sectors (by handset address) acknowledged with a wrong checksum on their first
    // badChecksumTimes attempts.
    std::vector<uint32_t> badChecksumSectors;
    int badChecksumTimes = 1;

    // TFS start answered 0xA1 or 0xA5 followed by tfsStartErrorNumber (0: answered 0x77).
    uint8_t tfsStartError = 0;
    uint8_t tfsStartErrorNumber = 5;

    // TFS final checksum off by this amount.
    int32_t tfsChecksumDelta = 0;

    // Every reply is delayed by this many seconds (slow handset).
    double replyDelay = 0.0;

    // Probability per byte, in each direction, that the line garbles the byte.
    double lineErrorRate = 0.0;

    // The cable is pulled at this reply point (nth occurrence): the handset goes silent and
    // forgets everything it was doing.
    Step disconnectAt = Step::None;
    int disconnectOccurrence = 0;
};

struct HandsetConfig {
    // Flash description file the chip's geometry comes from, and the chip's identification.
    std::string flashFile;
    uint8_t manufacturerId = 0x89;
    uint8_t deviceId = 0x18;
    // Extra identification byte some chips send after the device code (manufacturer 0x01 or
    // 0xEC with device 0xE3 / 0xE4).
    uint8_t extraIdByte = 0x00;
    // Powered when the PC raises DTR (a handset switched on by the operator when asked);
    // when false, powered from the start.
    bool powerOnDtr = true;
    // Begin with the bootstrap already running (38400 baud, even parity), flash identified:
    // for tests of single commands and transfers without a boot sequence.
    bool startInBootstrap = false;
    // Pace bytes at the wire rate of the current line settings (baud/10 bytes per second,
    // baud/11 with parity), in virtual time.
    bool wirePacing = false;
    // Interval of the boot loader's 0xBE announcements, in seconds.
    double wakeUpInterval = 0.010;
    // Silence on the line, in seconds, after which the extension module counts as complete.
    double idleGap = 0.050;
    // Keep every byte received from the PC in Recording::lineBytes.
    bool recordLine = false;
    FaultConfig faults;
};

// examples/flash.txt from the source tree and its first chip.
HandsetConfig DefaultConfig();

} // namespace sim

// The emulated handset: PCF5087 ROM boot loader, the running bootstrap with its commands, a flash
// memory model built from a flash description, a TFS file-system model, and fault injection.
// It models the protocol the PC sees on the serial line; it does not execute handset code.
//
// In-process use (tests, benchmarks, the command line's emulated handset):
//
//     sim::HandsetConfig cfg = sim::DefaultConfig();   // examples/flash.txt, first chip
//     sim::SimSession session(cfg);                    // every COM port now opens this handset,
//                                                      // over a virtual clock
//     ResultRecord r = dwl1_0boot(&ctx);
//     session.handset().flashAt(0x02000000, n);        // what the flash holds now
//
// Time: the session installs a virtual clock as the protocol clock (dwl_SetClock). A read that
// finds nothing to read advances virtual time, so a 10-second time-out costs no real time.
#pragma once

#include "session/dwl_clock.h"
#include "sim/flash_model.h"

struct TfsDescription;

#include <array>
#include <cstdint>
#include <map>
#include <memory>
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

// A sector command as the bootstrap received it.
struct SectorWrite {
    uint32_t sectorSize;
    uint32_t address;
    uint32_t count;
    bool accepted; // acknowledged with CC and the right checksum
};

struct TfsFile {
    std::string name;
    std::vector<uint8_t> data;
    bool closed = false;
};

// What the handset's TFS holds after a conversation.
struct TfsContents {
    bool mounted = false;
    std::string version; // up to its first NUL, at most 16 bytes
    std::vector<std::string> dirs;
    std::vector<TfsFile> files;
    bool ended = false;     // end of transfer received
    bool formatted = false; // a format request was served
    bool aborted = false;   // the conversation broke off on a malformed message
    uint32_t checksum = 0;  // sum of the file data bytes received
};

// Everything the handset received, for tests.
struct Recording {
    std::vector<std::vector<uint8_t>> bootFrames; // frames after the wake-up answer
    std::vector<uint8_t> bootstrapImage;          // the uploaded bootstrap
    std::vector<uint8_t> extensionModule;         // the module sent after 0xEE
    std::vector<uint8_t> commands;                // command bytes the bootstrap took, in order
    std::vector<SectorWrite> sectorWrites;
    std::map<long, uint64_t> bytesPerBaud; // bytes received at each line rate
    uint64_t bytesToPc = 0;                // bytes sent to the PC
    uint64_t bytesFromPc = 0;
    // Every byte received, as sent (with recordLine).
    std::vector<uint8_t> lineBytes;
    uint64_t garbledBytes = 0;   // bytes that arrived at a wrong rate/parity
    uint64_t corruptedBytes = 0; // bytes garbled by random line errors
    uint64_t wakeUpsSent = 0;    // 0xBE announcements put on the line
    int powerOns = 0;            // boot loader starts
    int tfsStarts = 0;           // TFS start commands served
    bool switchedOff = false;
    bool disconnected = false;   // the cable was pulled by a fault
    bool silenced = false;       // a fault made the handset fall silent
    bool bootLoaderDead = false; // a malformed frame stopped the boot loader
    long currentBaud = 38400;
    int currentParity = 2;
    // Reply points met, by Step (suppressed replies included).
    std::array<int, static_cast<int>(Step::Count)> replies{};
    // Replies that began while the handset's side of the line was quiet: the answers the PC
    // waits for, each after one turnaround (a reply queued behind another shares its wait).
    int answers = 0;
    // Wire time of the bytes that crossed the line: every byte from the PC, and every byte to
    // the PC that it read, each at the settings it was sent with.
    double wireSeconds = 0.0;
    // The DTR changes on the handset's timeline: when, the new state, and the bytes from the
    // PC that had fully arrived by then.
    struct DtrChange {
        double at;
        bool on;
        uint64_t bytesFromPc;
    };
    std::vector<DtrChange> dtrChanges;
};

class Handset {
  public:
    explicit Handset(HandsetConfig config);
    ~Handset();
    Handset(const Handset&) = delete;
    Handset& operator=(const Handset&) = delete;

    const HandsetConfig& config() const;
    const Recording& recording() const;
    const TfsContents& tfs() const;

    // Flash contents at a handset address (0x02000000 is the first byte of the flash).
    std::vector<uint8_t> flashAt(uint32_t address, uint32_t count) const;
    uint32_t flashSize() const;
    // True when every byte of [address, address+count) equals data.
    bool flashEquals(uint32_t address, const uint8_t* data, uint32_t count) const;
    // True when the flash holds exactly these images (in address order) and is erased
    // everywhere else.
    bool flashHoldsOnly(const std::vector<PlacedImage>& images) const;
    // True when the TFS holds exactly the description's version, directories and closed files,
    // the files' data cut from image in the description's order, and the transfer ended.
    bool tfsHolds(const TfsDescription& description, const uint8_t* image, size_t size) const;

    struct Impl;
    Impl& impl();

  private:
    std::unique_ptr<Impl> impl_;
};

class VirtualClock : public ClockSource {
  public:
    explicit VirtualClock(double start = 1.8e9);
    double now() override;
    void advance(double seconds);
    void advanceTo(double t);
    // Seconds since the clock's start: the full precision that byte times on a fast line need
    // (an epoch time in a double only resolves about a quarter of a microsecond).
    double elapsed() const { return elapsed_; }
    void advanceElapsedTo(double e);

  private:
    double start_;
    double elapsed_ = 0.0;
};

// Connects the emulated handset to every COM port in-process, over a virtual clock installed
// as the protocol clock. Restores the previous serial backend and clock when destroyed.
class SimSession {
  public:
    explicit SimSession(HandsetConfig config = DefaultConfig());
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    Handset& handset();
    VirtualClock& clock();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sim

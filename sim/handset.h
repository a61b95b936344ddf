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
#include "sim/handset_config.h"

struct TfsDescription;

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

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

// The protocol engine of the emulated handset. It takes the bytes the PC sends, each with the
// line settings it was sent at and the time it arrived, and produces the handset's reply bytes,
// each with the time it reaches the PC. It knows nothing of transports: the in-process link
// (virtual time) and the pseudo-terminal program (real time) only move bytes and time.
#pragma once

#include "sim/fault_plan.h"
#include "sim/flash_model.h"
#include "sim/handset.h"
#include "sim/line_settings.h"

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <limits>
#include <vector>

namespace sim {

struct OutByte {
    uint8_t value;
    double readyAt;        // when the byte has fully arrived at the PC
    LineSettings settings; // the handset's line settings when it sent the byte
    bool announcement;     // a 0xBE or noise byte: a full line may drop it
    // The reply point the byte answers.
    Step step = Step::None;
};

constexpr double kNever = std::numeric_limits<double>::infinity();

class HandsetEngine {
  public:
    explicit HandsetEngine(HandsetConfig config);

    // The session begins at time t: powered now unless waiting for DTR.
    void start(double t);
    void setDtr(bool on, double t);
    // Power cycle: the boot loader starts again (a pseudo-terminal reopened by the PC).
    void powerOn(double t);
    // Forgets what the recording holds of the sessions so far (frames, images, commands,
    // sectors, line bytes); the counters stay. A handset served session after session keeps
    // its memory flat.
    void forgetReceived();
    // A byte from the PC, sent at `sentAt`, fully arrived at time t.
    void receive(uint8_t byte, LineSettings sentAt, double t);
    // Bytes from the PC that all arrived at time t; the same as receiving them one by one.
    void receive(const uint8_t* data, size_t count, LineSettings sentAt, double t);
    // The PC's bytes, though they arrived at once, keep its line busy until t: a transport
    // without wire pacing, where the PC still sends no faster than its line rate. The quiet
    // time that ends the extension module counts from t.
    void lineBusyUntil(double t) { lastRxAt_ = std::max(lastRxAt_, t); }
    // Lets the handset's own timers run up to time t.
    void advanceTo(double t);
    // The next time at which the handset does something on its own; kNever when idle.
    double nextEventTime() const;
    // The PC waits for an answer with nothing more on the way to the handset.
    void pcWaiting(double t);

    // Bytes sent to the PC, in order of arrival.
    std::deque<OutByte>& output() { return out_; }
    // Drops the bytes that have reached the PC by time t (its input queue emptied).
    void dropArrived(double t);
    // What the PC reads for a byte of the output, given its own line settings.
    uint8_t deliver(const OutByte& byte, LineSettings pc);

    LineSettings lineSettings() const { return settings_; }
    // What the handset expects next from the PC, for a line trace: "command", "sector data".
    const char* stateName() const;
    const HandsetConfig& config() const { return config_; }
    const Recording& recording() const { return rec_; }
    const TfsContents& tfs() const { return tfs_; }
    const FlashModel& flash() const { return flash_; }

  private:
    enum class State {
        Off,
        Disconnected,
        RomWake,
        RomFrames,
        RomDead,
        Command,
        SpeedFrame,
        ExtensionModule,
        SectorHeader,
        SectorData,
        TfsVersion,
        TfsDirCount,
        TfsDir,
        TfsFileCount,
        TfsFileHeader,
        TfsFileData,
        TfsEnd,
    };

    // handset_engine.cpp: power, time, reply scheduling
    void dispatch(uint8_t value, bool garbled, double t);
    void emit(Step step, std::vector<uint8_t> bytes, double t);
    void schedule(uint8_t value, double t, bool announcement);
    void disconnect();
    bool collect(uint8_t value, size_t need);
    // How many of the next bytes, sent at `sentAt`, are plain payload the current state can take
    // in one piece (nothing garbles them and nothing answers before the last of them); 0 when
    // the next byte needs the byte-by-byte path.
    size_t payloadRun(LineSettings sentAt) const;
    void takePayload(const uint8_t* data, size_t count, long baud, double t);

    // rom_loader.cpp
    void romByte(uint8_t value, bool garbled, double t);
    void romFrameComplete(double t);
    void romMalformed();
    void startBootstrap(double t);
    void emitWakeUps(double t);

    // bootstrap_commands.cpp
    void commandByte(uint8_t value, bool garbled, double t);
    void speedFrameByte(uint8_t value, double t);
    void extensionByte(uint8_t value, double t);
    void finishExtension(double t);
    void sectorHeaderByte(uint8_t value, double t);
    void sectorDataByte(uint8_t value, double t);
    void sectorDataRun(const uint8_t* data, uint32_t count, double t);
    void finishSector(double t);

    // tfs_conversation.cpp
    void tfsStart(double t);
    void tfsByte(uint8_t value, double t);
    void tfsDataRun(const uint8_t* data, uint32_t count, double t);
    void tfsBlockDone(double t);
    void tfsNextFile(double t);
    void tfsAbort();
    void format(double t);

    HandsetConfig config_;
    Recording rec_;
    TfsContents tfs_;
    FlashModel flash_;
    FaultPlan faults_;

    State state_ = State::Off;
    LineSettings settings_ = kBootLine;
    bool dtr_ = false;
    double now_ = 0.0;
    std::deque<OutByte> out_;
    double outFree_ = 0.0; // when the handset's transmitter is free again
    // The reply point of the bytes being scheduled.
    Step replyStep_ = Step::None;

    // Speed change waiting for its acknowledgement to leave the line.
    bool settingsPending_ = false;
    LineSettings pendingSettings_;
    double settingsChangeAt_ = kNever;

    // Boot loader
    double nextWakeAt_ = kNever;
    std::vector<uint8_t> frame_;
    size_t frameNeed_ = 0;
    bool addressSet_ = false;
    uint32_t ramAddress_ = 0;
    uint32_t jumpAddress_ = 0;

    // Multi-byte messages of the bootstrap
    std::vector<uint8_t> buf_;
    double lastRxAt_ = 0.0;
    uint64_t moduleBytes_ = 0;

    // Sector command
    uint32_t sectorSize_ = 0;
    uint32_t sectorAddress_ = 0;
    uint32_t sectorCount_ = 0;
    uint32_t sectorReceived_ = 0;
    uint32_t sectorSum_ = 0;
    bool sectorRejected_ = false;
    uint8_t sectorDetail_ = 0;

    // TFS conversation
    uint32_t dirsLeft_ = 0;
    uint32_t filesLeft_ = 0;
    uint32_t fileLeft_ = 0;
    uint32_t blockLeft_ = 0;
};

} // namespace sim

struct sim::Handset::Impl : sim::HandsetEngine {
    using HandsetEngine::HandsetEngine;
};

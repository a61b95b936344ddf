#include "sim/handset_engine.h"

#include <algorithm>
#include <utility>

namespace sim {
namespace {
// Bytes the PC's input queue can hold; announcements beyond it are lost.
constexpr size_t kMaxPendingOutput = 65536;
} // namespace

HandsetEngine::HandsetEngine(HandsetConfig config)
    : config_(std::move(config)), faults_(config_.faults) {
    flash_.load(config_.flashFile, config_.manufacturerId, config_.deviceId);
    if (config_.wakeUpInterval <= 0.0) config_.wakeUpInterval = 0.010;
    if (config_.idleGap <= 0.0) config_.idleGap = 0.050;
}

void HandsetEngine::start(double t) {
    now_ = t;
    outFree_ = t;
    if (config_.startInBootstrap) {
        rec_.powerOns++;
        settings_ = kBootLine;
        state_ = State::Command;
    } else if (!config_.powerOnDtr) {
        powerOn(t);
    }
}

void HandsetEngine::setDtr(bool on, double t) {
    advanceTo(t);
    if (on != dtr_) rec_.dtrChanges.push_back({now_, on, rec_.bytesFromPc});
    bool rising = on && !dtr_;
    dtr_ = on;
    if (!rising || state_ == State::Disconnected) return;
    if (config_.powerOnDtr || state_ == State::Off) powerOn(t);
}

void HandsetEngine::powerOn(double t) {
    if (state_ == State::Disconnected) return;
    now_ = std::max(now_, t);
    rec_.powerOns++;
    rec_.switchedOff = false;
    // What a session wrote is told from its power-on.
    flash_.forgetWritten();
    rec_.bootLoaderDead = false;
    out_.clear();
    outFree_ = now_;
    settingsPending_ = false;
    settingsChangeAt_ = kNever;
    settings_ = kBootLine;
    rec_.currentBaud = settings_.baud;
    rec_.currentParity = settings_.parity;
    state_ = State::RomWake;
    frame_.clear();
    addressSet_ = false;
    ramAddress_ = 0;
    buf_.clear();
    // Some handsets babble while they power up.
    for (int i = 0; i < config_.faults.noiseBeforeWakeUp; ++i) {
        schedule(faults_.noiseByte(), now_ + 0.001 * i, true);
    }
    double noise = 0.001 * std::max(0, config_.faults.noiseBeforeWakeUp);
    nextWakeAt_ = now_ + noise + config_.wakeUpInterval;
}

void HandsetEngine::forgetReceived() {
    // Swapped with empty ones: clear() would keep the capacity.
    std::vector<std::vector<uint8_t>>().swap(rec_.bootFrames);
    std::vector<uint8_t>().swap(rec_.bootstrapImage);
    std::vector<uint8_t>().swap(rec_.extensionModule);
    std::vector<uint8_t>().swap(rec_.commands);
    std::vector<SectorWrite>().swap(rec_.sectorWrites);
    std::vector<uint8_t>().swap(rec_.lineBytes);
    std::vector<Recording::DtrChange>().swap(rec_.dtrChanges);
}

void HandsetEngine::receive(uint8_t byte, LineSettings sentAt, double t) {
    advanceTo(t);
    if (state_ == State::Off || state_ == State::Disconnected) return;
    rec_.bytesFromPc++;
    rec_.bytesPerBaud[sentAt.baud]++;
    if (config_.recordLine) rec_.lineBytes.push_back(byte);
    rec_.wireSeconds += ByteTime(sentAt);
    bool garbled = !(sentAt == settings_);
    uint8_t value = byte;
    if (garbled) {
        rec_.garbledBytes++;
        value = faults_.corrupt(byte);
    } else if (faults_.lineError()) {
        rec_.corruptedBytes++;
        value = faults_.corrupt(byte);
    }
    lastRxAt_ = now_;
    dispatch(value, garbled, now_);
}

void HandsetEngine::receive(const uint8_t* data, size_t count, LineSettings sentAt, double t) {
    size_t i = 0;
    while (i < count) {
        advanceTo(t);
        size_t run = std::min(payloadRun(sentAt), count - i);
        if (run == 0) {
            receive(data[i], sentAt, t);
            ++i;
            continue;
        }
        takePayload(data + i, run, sentAt.baud, now_);
        rec_.wireSeconds += static_cast<double>(run) * ByteTime(sentAt);
        i += run;
    }
}

size_t HandsetEngine::payloadRun(LineSettings sentAt) const {
    // A garbled or possibly corrupted byte takes the byte-by-byte path, and so does every byte
    // outside sector data and file data.
    if (!(sentAt == settings_) || faults_.lineErrorsPossible()) return 0;
    if (state_ == State::SectorData) {
        return sectorReceived_ < sectorCount_ ? sectorCount_ - sectorReceived_ : 0;
    }
    if (state_ == State::TfsFileData) return std::min(blockLeft_, fileLeft_);
    return 0;
}

void HandsetEngine::takePayload(const uint8_t* data, size_t count, long baud, double t) {
    rec_.bytesFromPc += count;
    rec_.bytesPerBaud[baud] += count;
    if (config_.recordLine) rec_.lineBytes.insert(rec_.lineBytes.end(), data, data + count);
    lastRxAt_ = now_;
    if (state_ == State::SectorData) {
        sectorDataRun(data, static_cast<uint32_t>(count), t);
    } else {
        tfsDataRun(data, static_cast<uint32_t>(count), t);
    }
}

void HandsetEngine::dispatch(uint8_t value, bool garbled, double t) {
    switch (state_) {
    case State::Off:
    case State::Disconnected:
    case State::RomDead: return;
    case State::RomWake:
    case State::RomFrames: romByte(value, garbled, t); return;
    case State::Command: commandByte(value, garbled, t); return;
    case State::SpeedFrame: speedFrameByte(value, t); return;
    case State::ExtensionModule: extensionByte(value, t); return;
    case State::SectorHeader: sectorHeaderByte(value, t); return;
    case State::SectorData: sectorDataByte(value, t); return;
    case State::TfsVersion:
    case State::TfsDirCount:
    case State::TfsDir:
    case State::TfsFileCount:
    case State::TfsFileHeader:
    case State::TfsFileData:
    case State::TfsEnd: tfsByte(value, t); return;
    }
}

void HandsetEngine::advanceTo(double t) {
    if (t < now_) t = now_;
    // Events in the order they fall due.
    for (;;) {
        double due = nextEventTime();
        if (due > t) break;
        now_ = std::max(now_, due);
        if (settingsPending_ && settingsChangeAt_ <= now_) {
            settingsPending_ = false;
            settingsChangeAt_ = kNever;
            settings_ = pendingSettings_;
            rec_.currentBaud = settings_.baud;
            rec_.currentParity = settings_.parity;
        } else if (state_ == State::RomWake && nextWakeAt_ <= now_) {
            emitWakeUps(now_);
        } else if (state_ == State::ExtensionModule && moduleBytes_ > 0) {
            finishExtension(now_);
        } else {
            break;
        }
    }
    now_ = t;
}

double HandsetEngine::nextEventTime() const {
    double due = kNever;
    if (settingsPending_) due = std::min(due, settingsChangeAt_);
    if (state_ == State::RomWake) due = std::min(due, nextWakeAt_);
    if (state_ == State::ExtensionModule && moduleBytes_ > 0) {
        due = std::min(due, lastRxAt_ + config_.idleGap);
    }
    return due;
}

void HandsetEngine::pcWaiting(double t) {
    advanceTo(t);
    if (state_ == State::ExtensionModule && moduleBytes_ > 0) finishExtension(now_);
}

void HandsetEngine::dropArrived(double t) {
    while (!out_.empty() && out_.front().readyAt <= t)
        out_.pop_front();
}

uint8_t HandsetEngine::deliver(const OutByte& byte, LineSettings pc) {
    rec_.wireSeconds += ByteTime(byte.settings);
    if (!(byte.settings == pc)) {
        rec_.garbledBytes++;
        return faults_.corrupt(byte.value);
    }
    if (faults_.lineError()) {
        rec_.corruptedBytes++;
        return faults_.corrupt(byte.value);
    }
    return byte.value;
}

void HandsetEngine::emit(Step step, std::vector<uint8_t> bytes, double t) {
    int index = static_cast<int>(step);
    if (index > 0 && index < static_cast<int>(Step::Count)) rec_.replies[index]++;
    Fate fate = faults_.decide(step, bytes);
    if (fate == Fate::Disconnect) {
        disconnect();
        return;
    }
    if (fate == Fate::Suppress) {
        rec_.silenced = true;
        return;
    }
    double at = t + std::max(0.0, config_.faults.replyDelay);
    replyStep_ = step;
    if (!bytes.empty() && t >= outFree_) rec_.answers++;
    for (uint8_t b : bytes)
        schedule(b, at, false);
    replyStep_ = Step::None;
}

void HandsetEngine::schedule(uint8_t value, double t, bool announcement) {
    if (announcement && out_.size() >= kMaxPendingOutput) return;
    double begin = std::max(t, outFree_);
    double end = begin + (config_.wirePacing ? ByteTime(settings_) : 0.0);
    outFree_ = end;
    out_.push_back(
        OutByte{value, end, settings_, announcement, announcement ? Step::WakeUp : replyStep_});
    rec_.bytesToPc++;
}

void HandsetEngine::disconnect() {
    state_ = State::Disconnected;
    rec_.disconnected = true;
    out_.clear();
    settingsPending_ = false;
    settingsChangeAt_ = kNever;
    nextWakeAt_ = kNever;
    buf_.clear();
    frame_.clear();
}

const char* HandsetEngine::stateName() const {
    switch (state_) {
    case State::Off: return "off";
    case State::Disconnected: return "disconnected";
    case State::RomWake: return "wake-up";
    case State::RomFrames: return "boot frames";
    case State::RomDead: return "boot loader stopped";
    case State::Command: return "command";
    case State::SpeedFrame: return "speed frame";
    case State::ExtensionModule: return "extension module";
    case State::SectorHeader: return "sector command";
    case State::SectorData: return "sector data";
    case State::TfsVersion: return "TFS version";
    case State::TfsDirCount: return "directory count";
    case State::TfsDir: return "directory";
    case State::TfsFileCount: return "file count";
    case State::TfsFileHeader: return "file header";
    case State::TfsFileData: return "file block";
    case State::TfsEnd: return "end";
    }
    return "?";
}

bool HandsetEngine::collect(uint8_t value, size_t need) {
    buf_.push_back(value);
    return buf_.size() >= need;
}

} // namespace sim

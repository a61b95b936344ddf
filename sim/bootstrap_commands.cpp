// The running bootstrap: one-byte commands, the speed change, the extension module and the
// sector command that erases and programs the flash.
#include "sim/handset_engine.h"
#include "sim/speed_table.h"

#include <algorithm>

namespace sim {
namespace {
constexpr uint8_t kAccept = 0xC0;
// Larger sector counts than this are not waited for: the command is refused at once.
constexpr uint32_t kMaxSectorBytes = 0x04000000;

// Details the bootstrap gives with 0xCD.
constexpr uint8_t kOutsideFlash = 0x02;
constexpr uint8_t kCountAboveSector = 0x03;
constexpr uint8_t kCountTooLarge = 0x04;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t ByteSum(const uint8_t* data, uint32_t count) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += data[i];
    return sum;
}
} // namespace

void HandsetEngine::commandByte(uint8_t value, bool garbled, double t) {
    // A byte with a framing or parity error is no command: the bootstrap drops it.
    if (garbled) return;
    rec_.commands.push_back(value);
    buf_.clear();
    switch (value) {
    case 0xE0:
        state_ = State::SpeedFrame;
        emit(Step::SpeedAccept, {kAccept}, t);
        break;
    case 0xE9: emit(Step::SpeedControl, {0xCA}, t); break;
    case 0xEF: emit(Step::Pmu, {kAccept, 0xCF, 0x00}, t); break;
    case 0xEB: emit(Step::Gpio, {kAccept, 0xC9}, t); break;
    case 0xE8:
        emit(Step::SwitchOff, {kAccept}, t);
        if (state_ != State::Disconnected) {
            state_ = State::Off;
            rec_.switchedOff = true;
        }
        break;
    case 0xEE:
        state_ = State::ExtensionModule;
        moduleBytes_ = 0;
        rec_.extensionModule.clear();
        // Accepted, with the RAM address the module is loaded at.
        emit(Step::ExtensionAccept, {kAccept, 0x00, 0x01, 0x00, 0x00}, t);
        break;
    case 0xEA: state_ = State::SectorHeader; break;
    case 0x44: tfsStart(t); break;
    case 0x10: format(t); break;
    default: break; // unknown commands are ignored
    }
}

void HandsetEngine::speedFrameByte(uint8_t value, double t) {
    if (!collect(value, 5)) return;
    state_ = State::Command;
    unsigned sum = unsigned{buf_[0]} + buf_[1] + buf_[2];
    unsigned sent = (unsigned{buf_[3]} << 8) | buf_[4];
    if (sum != sent) {
        emit(Step::SpeedAck, {0xC3, 0x01}, t);
        return;
    }
    long baud = BaudForSpeedParameters(buf_[0], buf_[1], buf_[2]);
    if (baud == 0) {
        emit(Step::SpeedAck, {0xC3, 0x02}, t); // a divider this bootstrap does not know
        return;
    }
    emit(Step::SpeedAck, {0xC3, 0x00}, t);
    if (state_ == State::Disconnected) return;
    // The new rate takes effect once the acknowledgement has left at the old one.
    settingsPending_ = true;
    pendingSettings_ = LineSettings{baud, 0};
    settingsChangeAt_ = std::max(outFree_, now_);
}

void HandsetEngine::extensionByte(uint8_t value, double) {
    // The module carries no length; it ends when the line falls idle (see advanceTo).
    constexpr size_t kMaxKept = 1u << 20;
    if (rec_.extensionModule.size() < kMaxKept) rec_.extensionModule.push_back(value);
    moduleBytes_++;
}

void HandsetEngine::finishExtension(double t) {
    state_ = State::Command;
    moduleBytes_ = 0;
    emit(Step::ExtensionDone, {0x63}, t);
}

void HandsetEngine::sectorHeaderByte(uint8_t value, double t) {
    if (!collect(value, 12)) return;
    sectorSize_ = BigEndian32(buf_.data());
    sectorAddress_ = BigEndian32(buf_.data() + 4);
    sectorCount_ = BigEndian32(buf_.data() + 8);
    sectorReceived_ = 0;
    sectorSum_ = 0;
    sectorRejected_ = false;
    buf_.clear();
    if (sectorCount_ > kMaxSectorBytes) {
        state_ = State::Command;
        rec_.sectorWrites.push_back({sectorSize_, sectorAddress_, sectorCount_, false});
        emit(Step::SectorAck, {0xCD, kCountTooLarge}, t);
        return;
    }
    if (faults_.rejectSector(sectorAddress_)) {
        sectorRejected_ = true;
        sectorDetail_ = config_.faults.rejectDetail;
    } else if (!flash_.contains(sectorAddress_, sectorSize_)) {
        sectorRejected_ = true;
        sectorDetail_ = kOutsideFlash;
    } else if (sectorCount_ > sectorSize_) {
        sectorRejected_ = true;
        sectorDetail_ = kCountAboveSector;
    } else {
        flash_.erase(sectorAddress_, sectorSize_);
    }
    state_ = State::SectorData;
    if (sectorCount_ == 0) finishSector(t);
}

void HandsetEngine::sectorDataByte(uint8_t value, double t) {
    sectorSum_ += value;
    if (!sectorRejected_) flash_.program(sectorAddress_ + sectorReceived_, value);
    if (++sectorReceived_ >= sectorCount_) finishSector(t);
}

// A run of sector data that ends at the latest with the sector's last byte.
void HandsetEngine::sectorDataRun(const uint8_t* data, uint32_t count, double t) {
    sectorSum_ += ByteSum(data, count);
    if (!sectorRejected_) flash_.program(sectorAddress_ + sectorReceived_, data, count);
    sectorReceived_ += count;
    if (sectorReceived_ >= sectorCount_) finishSector(t);
}

void HandsetEngine::finishSector(double t) {
    state_ = State::Command;
    if (sectorRejected_) {
        rec_.sectorWrites.push_back({sectorSize_, sectorAddress_, sectorCount_, false});
        emit(Step::SectorAck, {0xCD, sectorDetail_}, t);
        return;
    }
    uint32_t checksum = sectorSum_;
    bool right = true;
    if (faults_.badChecksum(sectorAddress_)) {
        checksum += 1;
        right = false;
    }
    rec_.sectorWrites.push_back({sectorSize_, sectorAddress_, sectorCount_, right});
    emit(Step::SectorAck,
         {0xCC, static_cast<uint8_t>(checksum), static_cast<uint8_t>(checksum >> 8),
          static_cast<uint8_t>(checksum >> 16), static_cast<uint8_t>(checksum >> 24)},
         t);
}

} // namespace sim

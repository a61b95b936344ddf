// The PCF5087 ROM boot loader: announces itself with 0xBE until the PC answers 0x44, then takes
// chip-select, address, data and start frames and starts the uploaded bootstrap.
#include "sim/handset_engine.h"

namespace sim {
namespace {
constexpr uint8_t kWakeUp = 0xBE;
constexpr uint8_t kWakeAnswer = 0x44;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool HasExtraIdByte(uint8_t manufacturer, uint8_t device) {
    return (manufacturer == 0x01 || manufacturer == 0xEC) && (device == 0xE3 || device == 0xE4);
}
} // namespace

void HandsetEngine::emitWakeUps(double t) {
    while (state_ == State::RomWake && nextWakeAt_ <= t) {
        double at = nextWakeAt_;
        nextWakeAt_ += config_.wakeUpInterval;
        // A PC that does not read for a long while only finds its input queue full.
        if (nextWakeAt_ < t && out_.size() >= 65536) nextWakeAt_ = t + config_.wakeUpInterval;
        std::vector<uint8_t> announcement{kWakeUp};
        rec_.replies[static_cast<int>(Step::WakeUp)]++;
        Fate fate = faults_.decide(Step::WakeUp, announcement);
        if (fate == Fate::Disconnect) {
            disconnect();
            return;
        }
        if (fate == Fate::Suppress) {
            // Silence is for good: no more announcements will come.
            rec_.silenced = true;
            nextWakeAt_ = kNever;
            return;
        }
        rec_.wakeUpsSent++;
        schedule(announcement[0], at, true);
    }
}

void HandsetEngine::romByte(uint8_t value, bool garbled, double t) {
    if (state_ == State::RomWake) {
        // Bytes with framing or parity errors, and anything but the answer, are ignored.
        if (!garbled && value == kWakeAnswer) {
            state_ = State::RomFrames;
            nextWakeAt_ = kNever;
            frame_.clear();
        }
        return;
    }
    frame_.push_back(value);
    if (frame_.size() == 1) {
        if (value >= 0x80) {
            frameNeed_ = 2; // chip-select command, value
        } else if (value == 0x00) {
            frameNeed_ = 6; // 00 03 + address
        } else if ((value & 0xE0) == 0x40) {
            frameNeed_ = 2; // data header; the length follows in the second byte
        } else if (value == 0x60) {
            frameNeed_ = 2; // 60 00
        } else {
            romMalformed();
            return;
        }
    } else if (frame_.size() == 2) {
        uint8_t first = frame_[0];
        if (first == 0x00 && value != 0x03) return romMalformed();
        if (first == 0x60 && value != 0x00) return romMalformed();
        if ((first & 0xE0) == 0x40) frameNeed_ = 2 + ((size_t{first & 0x1Fu} << 8) | value) + 1;
    }
    if (frame_.size() >= frameNeed_) romFrameComplete(t);
}

void HandsetEngine::romFrameComplete(double t) {
    rec_.bootFrames.push_back(frame_);
    uint8_t first = frame_[0];
    if (first == 0x00) {
        ramAddress_ = BigEndian32(frame_.data() + 2);
        jumpAddress_ = ramAddress_;
        addressSet_ = true;
    } else if ((first & 0xE0) == 0x40) {
        if (!addressSet_) return romMalformed();
        size_t length = frame_.size() - 2;
        std::vector<uint8_t>& image = rec_.bootstrapImage;
        if (ramAddress_ == 0) {
            image.assign(frame_.begin() + 2, frame_.end());
        } else if (!image.empty() && ramAddress_ == image.size()) {
            image.insert(image.end(), frame_.begin() + 2, frame_.end());
        }
        ramAddress_ += static_cast<uint32_t>(length);
    } else if (first == 0x60) {
        frame_.clear();
        // The loader jumps to the last address frame; only a bootstrap loaded there runs.
        if (!addressSet_ || jumpAddress_ != 0 || rec_.bootstrapImage.empty()) {
            state_ = State::RomDead;
            rec_.bootLoaderDead = true;
            return;
        }
        startBootstrap(t);
        return;
    }
    frame_.clear();
}

void HandsetEngine::romMalformed() {
    frame_.clear();
    state_ = State::RomDead;
    rec_.bootLoaderDead = true;
}

void HandsetEngine::startBootstrap(double t) {
    state_ = State::Command;
    emit(Step::BootstrapHello, {0x44}, t);
    if (state_ == State::Disconnected) return;
    emit(Step::BootstrapRuns, {0xA0, 0x10, 0x00}, t);
    if (state_ == State::Disconnected) return;
    std::vector<uint8_t> ident{0xC2, config_.manufacturerId, config_.deviceId};
    if (HasExtraIdByte(config_.manufacturerId, config_.deviceId)) {
        ident.push_back(config_.extraIdByte);
    }
    emit(Step::FlashIdent, ident, t);
}

} // namespace sim

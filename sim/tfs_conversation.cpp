// The bootstrap's side of the TFS file-system conversation and of the format request.
#include "sim/handset_engine.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {
constexpr size_t kVersionSize = 16;
constexpr size_t kNameField = 512;
constexpr uint32_t kBlock = 8192;
constexpr uint32_t kMaxReserve = 1u << 20;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Text of a fixed field up to its first NUL, never beyond the field.
std::string FieldText(const uint8_t* p, size_t size) {
    const void* nul = std::memchr(p, 0, size);
    size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    return std::string(reinterpret_cast<const char*>(p), length);
}

std::vector<uint8_t> Ack(uint8_t code) {
    return {0x00, 0x00, code};
}
} // namespace

void HandsetEngine::tfsStart(double t) {
    rec_.tfsStarts++;
    uint8_t error = config_.faults.tfsStartError;
    if (error == 0xA1 || error == 0xA5) {
        emit(Step::TfsStart, {error, config_.faults.tfsStartErrorNumber}, t);
        return;
    }
    // A new conversation builds the file system from scratch.
    bool formatted = tfs_.formatted;
    tfs_ = TfsContents{};
    tfs_.formatted = formatted;
    tfs_.mounted = true;
    state_ = State::TfsVersion;
    emit(Step::TfsStart, {0x77}, t);
}

void HandsetEngine::tfsByte(uint8_t value, double t) {
    switch (state_) {
    case State::TfsVersion:
        if (!collect(value, kVersionSize)) return;
        tfs_.version = FieldText(buf_.data(), kVersionSize);
        buf_.clear();
        state_ = State::TfsDirCount;
        emit(Step::TfsVersionAck, Ack(0x72), t);
        return;
    case State::TfsDirCount:
        if (!collect(value, 4)) return;
        dirsLeft_ = BigEndian32(buf_.data());
        buf_.clear();
        state_ = dirsLeft_ > 0 ? State::TfsDir : State::TfsFileCount;
        emit(Step::TfsDirCountAck, Ack(0x6F), t);
        return;
    case State::TfsDir:
        if (!collect(value, kNameField)) return;
        tfs_.dirs.push_back(FieldText(buf_.data(), kNameField));
        buf_.clear();
        if (--dirsLeft_ == 0) state_ = State::TfsFileCount;
        emit(Step::TfsDirAck, Ack(0x73), t);
        return;
    case State::TfsFileCount:
        if (buf_.empty() && value != 0x76) return tfsAbort();
        if (!collect(value, 5)) return;
        filesLeft_ = BigEndian32(buf_.data() + 1);
        buf_.clear();
        state_ = filesLeft_ > 0 ? State::TfsFileHeader : State::TfsEnd;
        return; // not answered
    case State::TfsFileHeader: {
        if (!collect(value, kNameField + 4)) return;
        TfsFile file;
        file.name = FieldText(buf_.data(), kNameField);
        fileLeft_ = BigEndian32(buf_.data() + kNameField);
        buf_.clear();
        // Room for the announced size, within reason: the size is only the PC's word.
        file.data.reserve(std::min(fileLeft_, kMaxReserve));
        tfs_.files.push_back(std::move(file));
        blockLeft_ = std::min(kBlock, fileLeft_);
        state_ = State::TfsFileData;
        emit(Step::TfsFileHeaderAck, Ack(0x7D), t);
        if (fileLeft_ == 0 && state_ == State::TfsFileData) {
            // An empty file has one empty block: nothing to wait for.
            emit(Step::TfsDataAck, Ack(0x7E), t);
            if (state_ == State::Disconnected) return;
            tfs_.files.back().closed = true;
            emit(Step::TfsFileClosed, Ack(0x7F), t);
            if (state_ == State::Disconnected) return;
            tfsNextFile(t);
        }
        return;
    }
    case State::TfsFileData:
        tfs_.files.back().data.push_back(value);
        tfs_.checksum += value;
        --fileLeft_;
        if (--blockLeft_ > 0) return;
        tfsBlockDone(t);
        return;
    case State::TfsEnd: {
        if (value != 0x79) return tfsAbort();
        state_ = State::Command;
        tfs_.ended = true;
        uint32_t sum = tfs_.checksum + static_cast<uint32_t>(config_.faults.tfsChecksumDelta);
        emit(Step::TfsEndAck, Ack(0x7A), t);
        if (state_ == State::Disconnected) return;
        emit(Step::TfsChecksum,
             {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8),
              static_cast<uint8_t>(sum >> 16), static_cast<uint8_t>(sum >> 24)},
             t);
        return;
    }
    default: return;
    }
}

// A run of file data that ends at the latest with the block's last byte.
void HandsetEngine::tfsDataRun(const uint8_t* data, uint32_t count, double t) {
    std::vector<uint8_t>& file = tfs_.files.back().data;
    file.insert(file.end(), data, data + count);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum += data[i];
    tfs_.checksum += sum;
    fileLeft_ -= count;
    blockLeft_ -= count;
    if (blockLeft_ == 0) tfsBlockDone(t);
}

// The last byte of a block has arrived: acknowledged, and the file closed after its last one.
void HandsetEngine::tfsBlockDone(double t) {
    emit(Step::TfsDataAck, Ack(0x7E), t);
    if (state_ == State::Disconnected) return;
    if (fileLeft_ > 0) {
        blockLeft_ = std::min(kBlock, fileLeft_);
        return;
    }
    tfs_.files.back().closed = true;
    emit(Step::TfsFileClosed, Ack(0x7F), t);
    if (state_ == State::Disconnected) return;
    tfsNextFile(t);
}

void HandsetEngine::tfsNextFile(double) {
    if (--filesLeft_ > 0) {
        state_ = State::TfsFileHeader;
    } else {
        state_ = State::TfsEnd;
    }
}

void HandsetEngine::tfsAbort() {
    tfs_.aborted = true;
    buf_.clear();
    state_ = State::Command;
}

void HandsetEngine::format(double t) {
    tfs_ = TfsContents{};
    tfs_.formatted = true;
    emit(Step::Format, {0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x23, 0x20}, t);
}

} // namespace sim

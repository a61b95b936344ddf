#include "sim/fault_plan.h"

#include <algorithm>

namespace sim {

FaultPlan::FaultPlan(const FaultConfig& config) : config_(config), state_(config.seed) {}

// splitmix64: small, fast and the same on every platform.
uint64_t FaultPlan::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double FaultPlan::uniform() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

Fate FaultPlan::decide(Step step, std::vector<uint8_t>& reply) {
    int index = static_cast<int>(step);
    if (index <= 0 || index >= static_cast<int>(Step::Count)) return Fate::Send;
    int occurrence = occurrences_[index]++;
    if (config_.disconnectAt == step && occurrence == config_.disconnectOccurrence) {
        return Fate::Disconnect;
    }
    if (config_.silentFrom == step && occurrence >= config_.silentOccurrence) silenced_ = true;
    if (silenced_) return Fate::Suppress;
    if (config_.wrongReplyAt == step && occurrence == config_.wrongReplyOccurrence &&
        !reply.empty()) {
        size_t at = static_cast<size_t>(
            std::clamp<int>(config_.wrongByteIndex, 0, static_cast<int>(reply.size()) - 1));
        if (config_.wrongByte >= 0) {
            reply[at] = static_cast<uint8_t>(config_.wrongByte);
        } else {
            reply[at] = corrupt(reply[at]);
        }
    }
    return Fate::Send;
}

namespace {
bool Counted(std::map<uint32_t, int>& attempts, const std::vector<uint32_t>& sectors, int times,
             uint32_t address) {
    if (std::find(sectors.begin(), sectors.end(), address) == sectors.end()) return false;
    return attempts[address]++ < times;
}
} // namespace

bool FaultPlan::rejectSector(uint32_t address) {
    return Counted(rejectAttempts_, config_.rejectSectors, config_.rejectTimes, address);
}

bool FaultPlan::badChecksum(uint32_t address) {
    return Counted(badChecksumAttempts_, config_.badChecksumSectors, config_.badChecksumTimes,
                   address);
}

bool FaultPlan::lineError() {
    if (config_.lineErrorRate <= 0.0) return false;
    return uniform() < config_.lineErrorRate;
}

uint8_t FaultPlan::corrupt(uint8_t value) {
    uint8_t mask = static_cast<uint8_t>(next() % 255 + 1); // never 0
    return static_cast<uint8_t>(value ^ mask);
}

uint8_t FaultPlan::noiseByte() {
    uint8_t b = static_cast<uint8_t>(next() % 255); // 0..254
    return b >= 0xBE ? static_cast<uint8_t>(b + 1) : b;
}

} // namespace sim

// Decides, reply point by reply point, which of the configured faults strike. Deterministic
// for a seed: the same run of the same conversation meets the same faults.
#pragma once

#include "sim/handset_config.h"

#include <cstdint>
#include <map>
#include <vector>

namespace sim {

enum class Fate {
    Send,       // the reply goes out (perhaps with a wrong byte in it)
    Suppress,   // the handset says nothing
    Disconnect, // the cable is pulled now
};

class FaultPlan {
  public:
    explicit FaultPlan(const FaultConfig& config);

    // Counts one occurrence of a reply point and settles the fate of its reply; may replace one
    // byte of `reply`.
    Fate decide(Step step, std::vector<uint8_t>& reply);
    bool silenced() const { return silenced_; }

    // Count one attempt at the sector of this address and tell whether it is to be rejected /
    // acknowledged with a wrong checksum.
    bool rejectSector(uint32_t address);
    bool badChecksum(uint32_t address);

    // One draw per byte on the line: true when a random line error garbles it.
    bool lineError();
    // False when lineError() is certain to say no without a draw.
    bool lineErrorsPossible() const { return config_.lineErrorRate > 0.0; }
    // A value different from `value`.
    uint8_t corrupt(uint8_t value);
    // A random byte that is not 0xBE.
    uint8_t noiseByte();

  private:
    uint64_t next();
    double uniform();

    FaultConfig config_;
    uint64_t state_;
    int occurrences_[static_cast<int>(Step::Count)] = {};
    bool silenced_ = false;
    std::map<uint32_t, int> rejectAttempts_;
    std::map<uint32_t, int> badChecksumAttempts_;
};

} // namespace sim

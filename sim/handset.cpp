#include "sim/handset.h"

#include "sim/handset_engine.h"

#include <algorithm>

namespace sim {

Handset::Handset(HandsetConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}
Handset::~Handset() = default;

const HandsetConfig& Handset::config() const {
    return impl_->config();
}
const Recording& Handset::recording() const {
    return impl_->recording();
}
const TfsContents& Handset::tfs() const {
    return impl_->tfs();
}
Handset::Impl& Handset::impl() {
    return *impl_;
}

uint32_t Handset::flashSize() const {
    return impl_->flash().size();
}

std::vector<uint8_t> Handset::flashAt(uint32_t address, uint32_t count) const {
    std::vector<uint8_t> bytes;
    const FlashModel& flash = impl_->flash();
    if (!flash.contains(address, 1)) return bytes;
    uint64_t inside = uint64_t{flash.size()} - (address - kFlashBase);
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, inside));
    const uint8_t* p = flash.at(address);
    bytes.assign(p, p + n);
    return bytes;
}

bool Handset::flashEquals(uint32_t address, const uint8_t* data, uint32_t count) const {
    const FlashModel& flash = impl_->flash();
    if (count == 0) return true;
    if (!data || !flash.contains(address, count)) return false;
    return std::equal(data, data + count, flash.at(address));
}

} // namespace sim

#include "sim/handset.h"

#include "sim/handset_engine.h"

#include "flash/dwl10tfs.h"

#include <algorithm>
#include <cstring>

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

bool Handset::tfsHolds(const TfsDescription& d, const uint8_t* image, size_t size) const {
    const TfsContents& t = tfs();
    if (!t.ended || t.version != std::string(d.Version).substr(0, 16)) return false;
    if (d.NbDir < 0 || t.dirs.size() != static_cast<size_t>(d.NbDir)) return false;
    for (int32_t i = 0; i < d.NbDir; ++i)
        if (t.dirs[i] != std::string(d.DirNames[i], strnlen(d.DirNames[i], DWL_TFS_NAME_SIZE)))
            return false;
    if (t.files.size() != d.NbFiles) return false;
    size_t pos = 0;
    for (uint32_t f = 0; f < d.NbFiles; ++f) {
        const TfsFile& file = t.files[f];
        const size_t n = d.Files[f].FileSize;
        const std::string name(d.Files[f].FileName,
                               strnlen(d.Files[f].FileName, DWL_TFS_NAME_SIZE));
        if (file.name != name || !file.closed || n > size - pos) return false;
        if (!std::equal(file.data.begin(), file.data.end(), image + pos, image + pos + n))
            return false;
        pos += n;
    }
    return true;
}

bool Handset::flashEquals(uint32_t address, const uint8_t* data, uint32_t count) const {
    const FlashModel& flash = impl_->flash();
    if (count == 0) return true;
    if (!data || !flash.contains(address, count)) return false;
    return std::equal(data, data + count, flash.at(address));
}

bool Handset::flashHoldsOnly(const std::vector<PlacedImage>& images) const {
    const FlashModel& flash = impl_->flash();
    return FlashHoldsOnly(flash.at(kFlashBase), flash.size(), images);
}

} // namespace sim

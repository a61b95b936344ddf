#include "app/handset_sim/flash_dump.h"

#include "app/handset_sim/replace_file.h"

bool WriteFlashDump(const std::string& path, const sim::FlashModel& flash) {
    return ReplaceFile(path, flash.at(sim::kFlashBase), flash.size());
}

#include "flash/dwl10reset.h"

#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "flash/dwl10tfs.h"

#include <cstring>

void dwl10_ResetRunTime() {
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    dwl10_203FreeTFSDescription();
    dwl10_80ResetSectorMap();
}

// Flash description text of any shape: the reader must end with a result code, never read past
// the text nor write past the table, and leave a table whose counts stay within their arrays.
#include "flash/dwl10fla.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return -1;
    // An exact-size copy, so that a read past the end of the text is caught.
    std::vector<uint8_t> text(data, data + size);
    static FlashDescriptionTable table;
    std::memset(&table, 0, sizeof table);
    const int code = dwl10_102ParseFlashDescription(text.empty() ? nullptr : text.data(),
                                                    static_cast<uint32_t>(text.size()), &table);
    if (code < 1 || code > 20) std::abort();
    if (table.NbFlash > DWL_MAX_FLASH) std::abort();
    for (int i = 0; i < table.NbFlash; ++i) {
        const FlashDescription& f = table.Flash[i];
        if (f.NbSectors > DWL_MAX_SECTORS) std::abort();
        if (memchr(f.ManufacturerName, 0, sizeof f.ManufacturerName) == nullptr) std::abort();
        if (memchr(f.DeviceName, 0, sizeof f.DeviceName) == nullptr) std::abort();
    }
    if (code == 1) {
        // A complete table answers lookups for every description it holds.
        for (int i = 0; i < table.NbFlash; ++i) {
            const FlashDescription& f = table.Flash[i];
            uint32_t sum = 0;
            for (uint32_t s = 0; s < f.NbSectors; ++s)
                sum += f.Sector[s].Size;
            if (sum != f.FlashSize) std::abort();
        }
    }
    return 0;
}

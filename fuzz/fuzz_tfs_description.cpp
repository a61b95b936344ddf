// TFS description text of any shape: the reader must end with a result code without reading or
// writing past its buffers; a description it accepts must hold names that fit their fields and
// a total equal to the sum of its file sizes; its tables must be released without a leak.
#include "flash/dwl10tfs.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return -1;
    std::vector<uint8_t> text(data, data + size);
    TfsDescription d;
    std::memset(&d, 0, sizeof d);
    const int code = dwl10_204ParseTFSDescription(text.empty() ? nullptr : text.data(),
                                                  static_cast<uint32_t>(text.size()), &d);
    if (code < 1 || code > 12) std::abort();
    if (memchr(d.Version, 0, sizeof d.Version) == nullptr) std::abort();
    if (code == 1) {
        if (d.NbFiles > d.MaxFiles) std::abort();
        if (d.NbDir < 0) std::abort();
        if (d.NbDir > 0 && d.DirNames == nullptr) std::abort();
        if (d.NbFiles > 0 && d.Files == nullptr) std::abort();
        for (int32_t i = 0; i < d.NbDir; ++i)
            if (memchr(d.DirNames[i], 0, DWL_TFS_NAME_SIZE) == nullptr) std::abort();
        uint32_t total = 0;
        for (uint32_t i = 0; i < d.NbFiles; ++i)
            total += d.Files[i].FileSize;
        if (total != d.TotalSize) std::abort();
    }
    dwl10_205FreeTFSTables(&d);
    return 0;
}

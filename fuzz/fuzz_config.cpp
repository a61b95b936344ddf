// config.txt of any shape: the reader must end with one of its result codes without reading or
// writing past its buffers, and a file it accepts leaves values within their bounds.
#include "config/dwl56conf.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A working folder of its own, holding a small binary image that a restored path may name.
void EnterWorkingFolder() {
    char pattern[] = "/tmp/dwl-fuzz-config-XXXXXX";
    if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
    FILE* image = fopen("a.bin", "wb");
    if (image == nullptr) std::abort();
    fputs("binary image", image);
    fclose(image);
}

bool Accepted(int code) {
    return code == 1 || code == 2 || code == 3 || code == 4 || code == 5 || code == 6 ||
           (code >= 9 && code <= 14);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnterWorkingFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 16) return -1;
    // A restored path loads that file at once: keep it inside the working folder.
    if (memchr(data, '/', size) != nullptr) return -1;
    FILE* file = fopen("config.txt", "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && fwrite(data, 1, size, file) != size) std::abort();
    fclose(file);

    sg_DownloadContext.ComPort = 4;
    sg_DownloadContext.Pmu = 0;
    sg_DownloadContext.ProductType = 2;
    sg_DownloadContext.DownloadType = 0;
    const int code = dwl51_104RestoreConfig();
    if (!Accepted(code)) std::abort();
    const DownloadContext& c = sg_DownloadContext;
    if (memchr(c.ClaFile, 0, sizeof c.ClaFile) == nullptr) std::abort();
    if (code == 1 && (c.ComPort > 4 || c.Pmu > 1 || c.ProductType > 2 || c.DownloadType > 4))
        std::abort();
    return 0;
}

// dwl check: reads a flash description file or the TFS description of a TFS image and reports
// what it holds.
#include "app/cli/cli_registry.h"
#include "app/run/exit_status.h"
#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "link/dwl12pclib.h"
#include "session/dwl_results.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using dwlcli::kExitFlashDescription;

// The family of the TFS image size check.
constexpr int kTfsSizeFamily = 18;

// Empty when the file opens for reading, otherwise the system's reason.
std::string unreadable(const std::string& path) {
    FILE* file = dwl12_10OpenWholeFile(path.c_str());
    if (file == nullptr) return dwl12_11OpenErrorText(errno);
    fclose(file);
    return "";
}

// The problems of one description that its parse let through: a sector size no flash has
// (refused by every run on that chip), sectors that no line describes, a size that is no power
// of two (warnings). True when the chip can be written.
bool checkSectors(unsigned index, const FlashDescription& f) {
    if (f.BadSizeLine != 0)
        printf("  %2u: error: line %u: sector size %u is not a power of two; no run writes this "
               "flash\n",
               index, (unsigned)f.BadSizeLine, (unsigned)f.BadSize);
    const uint32_t count = f.NbSectors < DWL_MAX_SECTORS ? f.NbSectors : DWL_MAX_SECTORS;
    for (uint32_t s = 0; s < count; s++) {
        if (f.Sector[s].Size != 0) continue;
        uint32_t last = s;
        while (last + 1 < count && f.Sector[last + 1].Size == 0)
            last++;
        if (last == s)
            printf("  %2u: warning: no line describes sector %u\n", index, (unsigned)s);
        else
            printf("  %2u: warning: no line describes sectors %u to %u\n", index, (unsigned)s,
                   (unsigned)last);
        s = last;
    }
    if (f.FlashSize != 0 && !dwl10_7SectorSizeExists(f.FlashSize))
        printf("  %2u: warning: the sectors add up to %u bytes, which is not a power of two\n",
               index, (unsigned)f.FlashSize);
    return f.BadSizeLine == 0;
}

int checkFlash(const std::string& file) {
    printf("flash description: %s\n", file.c_str());
    const std::string why = unreadable(file);
    if (!why.empty()) {
        fprintf(stderr, "dwl: cannot read %s: %s\n", file.c_str(), why.c_str());
        return dwlcli::kExitNoInput;
    }
    int result = dwl10_101InitFlashDescriptionFrom(file.c_str());
    printf("result %d: %s\n", result, result == 1 ? "success" : dwl_FlashFileMessage(result));
    const FlashDescriptionTable& table = vg_FlashDescritpion;
    printf("descriptions: %u\n", (unsigned)table.NbFlash);
    int status = result == 1 ? 0 : kExitFlashDescription;
    // Every run would boot the handset only to end on "the flash id is not known".
    if (table.NbFlash == 0) {
        printf("error: no flash is described\n");
        status = kExitFlashDescription;
    }
    for (unsigned i = 0; i < table.NbFlash && i < (unsigned)DWL_MAX_FLASH; i++) {
        const FlashDescription& f = table.Flash[i];
        printf("  %2u: \"%.14s\" \"%.14s\" manufacturer 0x%02X device 0x%02X, %u banks, "
               "%u sectors, %u bytes (0x%08X)\n",
               i, f.ManufacturerName, f.DeviceName, (unsigned)f.ManufacturerId,
               (unsigned)f.DeviceId, (unsigned)f.NbBanks, (unsigned)f.NbSectors,
               (unsigned)f.FlashSize, (unsigned)f.FlashSize);
        // The block the parse stopped in is incomplete anyway.
        if (result == 1 || i + 1 < table.NbFlash)
            if (!checkSectors(i, f)) status = kExitFlashDescription;
    }
    return status;
}

void printTfsDescription(const TfsDescription& d) {
    printf("version: \"%.19s\"\n", d.Version);
    printf("directories: %d\n", (int)d.NbDir);
    for (int32_t i = 0; i < d.NbDir && d.DirNames != nullptr; i++) {
        printf("  %.*s\n", DWL_TFS_NAME_SIZE, d.DirNames[i]);
    }
    printf("files: %u (at most %u)\n", (unsigned)d.NbFiles, (unsigned)d.MaxFiles);
    for (uint32_t i = 0; i < d.NbFiles && d.Files != nullptr; i++) {
        printf("  %10u  %.*s\n", (unsigned)d.Files[i].FileSize, DWL_TFS_NAME_SIZE,
               d.Files[i].FileName);
    }
    printf("total: %u bytes (0x%08X)\n", (unsigned)d.TotalSize, (unsigned)d.TotalSize);
}

int checkTfs(const std::string& image) {
    const std::string why = unreadable(image);
    if (!why.empty()) {
        fprintf(stderr, "dwl: cannot read %s: %s\n", image.c_str(), why.c_str());
        return dwlcli::kExitNoInput;
    }
    char path[1024];
    if (dwl10_202FindTFSDescription(image.c_str(), path, sizeof path) == 1) {
        printf("TFS description: %s\n", path);
    } else {
        printf("TFS description: none found for %s\n", image.c_str());
    }
    int result = dwl10_201InitTFSDescriptionFor(image.c_str());
    printf("result %d: %s\n", result, result == 1 ? "success" : dwl_TfsFileMessage(result));
    if (result != 1) {
        dwl10_203FreeTFSDescription();
        return dwlcli::kExitTfsDescription;
    }
    printTfsDescription(vg_TFSDescritpion);
    uint32_t total = vg_TFSDescritpion.TotalSize;
    dwl10_203FreeTFSDescription();

    long size = 0;
    if (dwl12_2CalculateLengthOfFile(image.c_str(), &size) != 1) {
        fprintf(stderr, "dwl: cannot measure %s\n", image.c_str());
        return dwlcli::kExitNoInput;
    }
    if ((unsigned long)size == total) {
        printf("image: %s, %ld bytes: the size matches\n", image.c_str(), size);
        return 0;
    }
    printf("image: %s, %ld bytes: the size differs\n", image.c_str(), size);
    ResultWindow window = dwl_ResultWindow(kTfsSizeFamily, 0, total);
    if (window.hasMessage) printf("%s\n", window.message);
    return kTfsSizeFamily;
}

} // namespace

namespace dwlcli {

void setupCheck(CLI::App& dwl, int& exitStatus) {
    CLI::App* check = dwl.add_subcommand(
        "check", "Read a flash description file or the TFS description of a TFS image");
    auto flashFile = std::make_shared<std::string>();
    auto tfsImage = std::make_shared<std::string>();
    CLI::Option* flash =
        check->add_option("--flash", *flashFile, "flash description file (flash.txt)");
    CLI::Option* tfs = check->add_option(
        "--tfs", *tfsImage, "TFS ogm image whose description (.cfg beside it, tfs.cfg) to read");
    check->require_option(1, 2);
    check->callback([flash, tfs, flashFile, tfsImage, &exitStatus]() {
        int status = 0;
        if (flash->count() > 0) status = checkFlash(*flashFile);
        if (tfs->count() > 0) {
            if (flash->count() > 0) printf("\n");
            int tfsStatus = checkTfs(*tfsImage);
            if (status == 0) status = tfsStatus;
        }
        exitStatus = status;
    });
}

} // namespace dwlcli

#include "app/gui/gui_open_files.h"

#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

bool endsWith(const std::string& text, const char* end) {
    const size_t n = std::strlen(end);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, end) == 0;
}

// The image's path field and its load step, chosen by the file's extension.
bool slotFor(const std::string& path, char** field, void (**load)()) {
    if (endsWith(path, ".bin")) {
        *field = sg_DownloadContext.ClaFile;
        *load = dwl51_0InitLoadFile;
    } else if (endsWith(path, ".ogm")) {
        *field = sg_DownloadContext.OgmFile;
        *load = dwl51_0InitLoadFile_ogm;
    } else if (endsWith(path, ".tfs")) {
        *field = sg_DownloadContext.TfsOgmFile;
        *load = dwl51_0InitLoadFile_TFS_ogm;
    } else {
        return false;
    }
    return true;
}

} // namespace

void dwlgui_LoadImages(const std::vector<std::string>& paths) {
    for (const std::string& given : paths) {
        char* field = nullptr;
        void (*load)() = nullptr;
        char full[PATH_MAX];
        if (!slotFor(given, &field, &load)) {
            fprintf(stderr, "dwl-gui: %s is no .bin, .ogm or .tfs image\n", given.c_str());
            continue;
        }
        if (realpath(given.c_str(), full) == nullptr ||
            std::strlen(full) >= sizeof sg_DownloadContext.ClaFile) {
            fprintf(stderr, "dwl-gui: cannot load %s\n", given.c_str());
            continue;
        }
        if (!dwl51_6BeginCommand()) return;
        std::strcpy(field, full);
        load();
        dwl51_7EndCommand();
    }
}

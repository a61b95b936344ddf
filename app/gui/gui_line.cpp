#include "app/gui/gui_line.h"

#include "platform/qt/serial_backend.h"
#include "session/uis.h"
#include "sim/handset.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

std::unique_ptr<sim::SimSession>& emulator() {
    static std::unique_ptr<sim::SimSession> session;
    return session;
}

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// <source>/app/gui/gui_line.cpp -> <source>
std::string sourceTree() {
    std::string here = __FILE__;
    for (int i = 0; i < 3; i++) {
        const size_t slash = here.find_last_of('/');
        if (slash == std::string::npos) return ".";
        here.erase(slash);
    }
    return here.empty() ? "/" : here;
}

sim::HandsetConfig handsetConfig() {
    sim::HandsetConfig config = sim::DefaultConfig();
    // Installed without the source tree: the chip of the PC's own flash.txt.
    if (!isFile(config.flashFile) && isFile("flash.txt")) config.flashFile = "flash.txt";
    return config;
}

} // namespace

void dwlgui_SelectLine(int emulated) {
    if (emulated != 0) {
        if (!emulator()) emulator() = std::make_unique<sim::SimSession>(handsetConfig());
        return;
    }
    if (emulator()) {
        emulator().reset();
        dwl_qt_InstallSerialBackend();
    }
}

bool dwlgui_LineEmulated() {
    return emulator() != nullptr;
}

void dwlgui_UseLayoutFolder() {
    if (isFile("mmi.uir") && isFile("Utility.uir")) return;
    const char* env = std::getenv("DWL_LAYOUT_DIR");
    if (env != nullptr && env[0] != '\0') {
        uis_SetLayoutDirectory(env);
        return;
    }
    uis_SetLayoutDirectory((sourceTree() + "/ui").c_str());
}

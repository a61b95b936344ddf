#include "app/gui/gui_line.h"

#include "link/dwl12datafiles.h"
#include "link/serial_backend.h"
#include "sim/handset.h"
#include "uis/uis.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::unique_ptr<sim::SimSession>& emulator() {
    static std::unique_ptr<sim::SimSession> session;
    return session;
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

sim::HandsetConfig handsetConfig() {
    sim::HandsetConfig config = sim::DefaultConfig();
    // Bytes take their wire time (virtual, so no real time passes): the times, rates and
    // progress of a run are those of a cable, as with dwl --sim.
    config.wirePacing = true;
    // Installed without the source tree: the chip of the PC's own flash.txt.
    if (!isFile(config.flashFile) && isFile("flash.txt")) config.flashFile = "flash.txt";
    return config;
}

} // namespace

void dwlgui_InstallCable() {
    dwl_InstallSerialBackend();
}

void dwlgui_SelectLine(int emulated) {
    // The stand-in handset programs of the data folder serve the emulated handset only.
    v_SpmFromDataFolder = emulated != 0 ? 1 : 0;
    if (emulated != 0) {
        if (!emulator()) emulator() = std::make_unique<sim::SimSession>(handsetConfig());
        return;
    }
    if (emulator()) {
        emulator().reset();
        dwlgui_InstallCable();
    }
}

bool dwlgui_LineEmulated() {
    return emulator() != nullptr;
}

void dwlgui_UseLayoutFolder() {
    // flash.txt and the handset programs too come from the data folder when the working
    // directory is no working folder of its own.
    v_DataFolderSearch = 1;
    if (isFile("mmi.uir") && isFile("Utility.uir")) return;
    const char* env = std::getenv("DWL_LAYOUT_DIR");
    if (env != nullptr && env[0] != '\0') {
        uis_SetLayoutDirectory(env);
        return;
    }
    uis_SetLayoutDirectory(dwl12_6FindDataFolder("mmi.uir").c_str());
}

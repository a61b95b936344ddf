#include "sim/handset_config.h"

#include "sim/flash_model.h"

#include "link/dwl12datafiles.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace sim {
namespace {

constexpr const char* kStepNames[] = {
    "None",
    "WakeUp",
    "BootstrapHello",
    "BootstrapRuns",
    "FlashIdent",
    "Gpio",
    "SpeedAccept",
    "SpeedAck",
    "SpeedControl",
    "Pmu",
    "ExtensionAccept",
    "ExtensionDone",
    "SectorAck",
    "TfsStart",
    "TfsVersionAck",
    "TfsDirCountAck",
    "TfsDirAck",
    "TfsFileHeaderAck",
    "TfsDataAck",
    "TfsFileClosed",
    "TfsEndAck",
    "TfsChecksum",
    "Format",
    "SwitchOff",
};
static_assert(sizeof(kStepNames) / sizeof(kStepNames[0]) == static_cast<size_t>(Step::Count));

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// The samples folder: DWL_EXAMPLES_DIR, else the data folder installed with the program or the
// source tree's examples.
std::string ExamplesDir() {
    if (const char* dir = std::getenv("DWL_EXAMPLES_DIR"); dir && *dir) return dir;
    const std::string folder = dwl12_6FindDataFolder("flash.txt");
    return folder.empty() ? std::string("examples") : folder;
}

} // namespace

const char* StepName(Step step) {
    int index = static_cast<int>(step);
    if (index < 0 || index >= static_cast<int>(Step::Count)) return "?";
    return kStepNames[index];
}

Step ParseStep(const char* name) {
    if (!name) return Step::Count;
    for (int i = 0; i < static_cast<int>(Step::Count); ++i) {
        if (SameText(name, kStepNames[i])) return static_cast<Step>(i);
    }
    return Step::Count;
}

HandsetConfig DefaultConfig() {
    HandsetConfig config;
    config.flashFile = ExamplesDir() + "/flash.txt";
    uint8_t manufacturer = 0;
    uint8_t device = 0;
    if (FirstChipOf(config.flashFile, &manufacturer, &device)) {
        config.manufacturerId = manufacturer;
        config.deviceId = device;
    }
    return config;
}

} // namespace sim

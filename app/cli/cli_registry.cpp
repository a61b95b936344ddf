#include "app/cli/cli_registry.h"

#include <vector>

namespace dwlcli {

// Function-local so that registrations from any file's statics find it constructed.
static std::vector<Setup>& registry() {
    static std::vector<Setup> setups;
    return setups;
}

bool addSubcommand(Setup setup) {
    registry().push_back(setup);
    return true;
}

void setupAll(CLI::App& dwl, int& exitStatus) {
    for (Setup setup : registry())
        setup(dwl, exitStatus);
}

} // namespace dwlcli

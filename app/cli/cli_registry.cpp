#include "app/cli/cli_registry.h"

namespace dwlcli {

namespace {

const Setup a_Setups[] = {
    setupDownloadCommands, setupStation, setupResults, setupCheck, setupSim, setupDemo};

} // namespace

void setupAll(CLI::App& dwl, int& exitStatus) {
    for (Setup setup : a_Setups)
        setup(dwl, exitStatus);
}

} // namespace dwlcli

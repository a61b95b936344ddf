#include "app/cli/cli_registry.h"

namespace dwlcli {

namespace {

const Setup a_Setups[] = {setupDownloadCommands,
#ifdef DWL_CLI_WITH_RESULTS
                          setupStation,
                          setupResults,
#endif
                          setupCheck,
#ifdef DWL_CLI_WITH_HANDSET_PROGRAM
                          setupSim,
#endif
                          setupDemo};

} // namespace

void setupAll(CLI::App& dwl, int& exitStatus) {
    for (Setup setup : a_Setups)
        setup(dwl, exitStatus);
}

} // namespace dwlcli

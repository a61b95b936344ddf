#include "app/cli/cli_registry.h"

#include "app/run/exit_status.h"

#include <cstdio>

namespace dwlcli {

namespace {

#ifndef DWL_CLI_WITH_RESULTS
// Commands of the full program this build leaves out: asked for, they say so plainly rather
// than fail as unknown words. They are not offered in the help.
void setupLeftOut(CLI::App& dwl, int& exitStatus) {
    for (const char* name : {"station", "results"}) {
        CLI::App* c = dwl.add_subcommand(name, "");
        c->group("");
        c->allow_extras();
        c->callback([name, &exitStatus]() {
            fprintf(stderr,
                    "dwl: %s is not in this build of dwl (the production station and its "
                    "results need the Linux dwl)\n",
                    name);
            exitStatus = kExitUsage;
        });
    }
}
#endif

const Setup a_Setups[] = {setupDownloadCommands,
#ifdef DWL_CLI_WITH_RESULTS
                          setupStation,
                          setupResults,
#else
                          setupLeftOut,
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

// dwl sim: the emulated handset on a pseudo-terminal, for trying the tool without a handset.
#include "app/cli/cli_registry.h"
#include "app/run/exit_status.h"
#ifdef DWL_CLI_WITH_HANDSET_PROGRAM
#include "app/cli/handset_process.h"
#include "link/child_process.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace dwlcli {

void setupSim(CLI::App& dwl, int& exitStatus) {
    CLI::App* simCommand = dwl.add_subcommand(
        "sim", "Start the emulated handset on a pseudo-terminal and print its device; further "
               "arguments go to dwl-handset-sim (see dwl sim --help-handset)");
    simCommand->allow_extras();
    simCommand->add_flag_callback(
        "--help-handset", [] {}, "show the emulated handset's own options");
    simCommand->callback([simCommand, &exitStatus]() {
#ifndef DWL_CLI_WITH_HANDSET_PROGRAM
        (void)simCommand;
        fprintf(stderr, "dwl: dwl sim serves the emulated handset on a pseudo-terminal, which this "
                        "system has not; use --sim or dwl demo\n");
        exitStatus = dwlcli::kExitInternal;
#else
        const std::string program = dwlcli::handsetProgram();
        if (program.empty()) {
            fprintf(stderr, "dwl: dwl-handset-sim is not built beside dwl\n");
            exitStatus = dwlcli::kExitInternal;
            return;
        }
        std::vector<std::string> args = simCommand->remaining();
        if (simCommand->count("--help-handset") > 0) args = {"--help"};
        fflush(stdout);
        // The handset program takes this process over: it prints its device and serves the
        // handset until it is stopped (Ctrl-C).
        dwl_RunInstead(program, args);
        fprintf(stderr, "dwl: cannot start %s: %s\n", program.c_str(), strerror(errno));
        exitStatus = dwlcli::kExitInternal;
#endif
    });
}

} // namespace dwlcli

// dwl: the command line of the download tool.
#include "app/cli/cli_registry.h"
#include "app/cli/run_signals.h"
#include "app/run/exit_status.h"
#include "dwl_version.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    CLI::App dwl{"dwl: writes software into the flash of PCF5087 handsets over RS-232"};
    dwl.set_version_flag("--version", "dwl " DWL_VERSION);
    dwl.require_subcommand(1);
    int exitStatus = 0;
    dwlcli::setupAll(dwl, exitStatus);
    if (argc <= 1) {
        // Started without a command, as a double-click starts it: what it does and how to use it.
        fprintf(stderr,
                "%s\nIt runs from a command prompt (cmd or a terminal), for example:\n"
                "  dwl demo                               the sample images into an "
                "emulated handset\n"
                "  dwl flash --port COM5 --bin image.bin  a handset on COM5\n"
                "Give a command's --help for its options.\n",
                dwl.help().c_str());
        if (dwlcli::consoleMadeForProgram()) dwlcli::waitForKeyBeforeClosing();
        return dwlcli::kExitUsage;
    }
    // "/?" asks for help, as it does of the system's own commands.
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::string& arg : args)
        if (arg == "/?") arg = "--help";
    std::reverse(args.begin(), args.end());
    try {
        dwl.parse(args);
    } catch (const CLI::ParseError& e) {
        // Help asked for: 0; anything wrong with the command line: one status for all.
        return dwl.exit(e) == 0 ? 0 : dwlcli::kExitUsage;
    }
    return exitStatus;
}

// dwl: the command line of the download tool.
#include "app/cli/cli_registry.h"
#include "app/cli/exit_status.h"
#include "dwl_version.h"

int main(int argc, char** argv) {
    CLI::App dwl{"dwl: writes software into the flash of PCF5087 handsets over RS-232"};
    dwl.set_version_flag("--version", "dwl " DWL_VERSION);
    dwl.require_subcommand(1);
    int exitStatus = 0;
    dwlcli::setupAll(dwl, exitStatus);
    try {
        dwl.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help asked for: 0; anything wrong with the command line: one status for all.
        return dwl.exit(e) == 0 ? 0 : dwlcli::kExitUsage;
    }
    return exitStatus;
}

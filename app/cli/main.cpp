// dwl: the command line of the download tool.
#include "app/cli/cli_registry.h"

int main(int argc, char** argv) {
    CLI::App dwl{"dwl: writes software into the flash of PCF5087 handsets over RS-232"};
    dwl.require_subcommand(1);
    int exitStatus = 0;
    dwlcli::setupAll(dwl, exitStatus);
    CLI11_PARSE(dwl, argc, argv);
    return exitStatus;
}

// dwl flash: writes the images into the handset through the main panel's start command.
#include "app/cli/cli_registry.h"
#include "app/cli/run_command.h"

#include <memory>

namespace {

void setupFlash(CLI::App& dwl, int& exitStatus) {
    CLI::App* flash = dwl.add_subcommand(
        "flash", "Write a binary, ogm and/or TFS ogm image into the handset (the Start button)");
    auto request = std::make_shared<dwlcli::RunRequest>();
    dwlcli::addRunOptions(flash, request.get(), dwlcli::RUN_FLASH);
    flash->callback([request, &exitStatus]() {
        exitStatus = dwlcli::runDownloadCommand(*request, dwlcli::RUN_FLASH);
    });
}

DWL_CLI_SUBCOMMAND(setupFlash);

} // namespace

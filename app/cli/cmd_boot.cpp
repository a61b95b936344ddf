// dwl boot: boots the handset and identifies its flash, nothing written (the boot-only button).
#include "app/cli/cli_registry.h"
#include "app/cli/run_command.h"

#include <memory>

namespace {

void setupBoot(CLI::App& dwl, int& exitStatus) {
    CLI::App* boot = dwl.add_subcommand(
        "boot", "Boot the handset, upload the bootstrap and identify its flash; write nothing");
    auto request = std::make_shared<dwlcli::RunRequest>();
    dwlcli::addRunOptions(boot, request.get(), dwlcli::RUN_BOOT);
    boot->callback([request, &exitStatus]() {
        exitStatus = dwlcli::runDownloadCommand(*request, dwlcli::RUN_BOOT);
    });
}

DWL_CLI_SUBCOMMAND(setupBoot);

} // namespace

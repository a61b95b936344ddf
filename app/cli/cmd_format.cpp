// dwl format: formats the handset's flash file system (the Format button).
#include "app/cli/cli_registry.h"
#include "app/cli/run_command.h"

#include <memory>

namespace {

void setupFormat(CLI::App& dwl, int& exitStatus) {
    CLI::App* format =
        dwl.add_subcommand("format", "Boot the handset and format its flash file system");
    auto request = std::make_shared<dwlcli::RunRequest>();
    dwlcli::addRunOptions(format, request.get(), dwlcli::RUN_FORMAT);
    format->callback([request, &exitStatus]() {
        exitStatus = dwlcli::runDownloadCommand(*request, dwlcli::RUN_FORMAT);
    });
}

DWL_CLI_SUBCOMMAND(setupFormat);

} // namespace

// dwl flash, dwl boot, dwl format: the main panel's Start, Boot-only and Format buttons.
#include "app/cli/cli_registry.h"
#include "app/cli/run_command.h"

#include <memory>

namespace dwlcli {

namespace {

struct DownloadCommand {
    const char* name;
    const char* description;
    RunCommand kind;
};

const DownloadCommand a_DownloadCommands[] = {
    {"flash", "Write a binary, ogm and/or TFS ogm image into the handset (the Start button)",
     RUN_FLASH},
    {"boot", "Boot the handset, upload the bootstrap and identify its flash; write nothing",
     RUN_BOOT},
    {"format", "Boot the handset and format its flash file system", RUN_FORMAT},
};

} // namespace

void setupDownloadCommands(CLI::App& dwl, int& exitStatus) {
    for (const DownloadCommand& c : a_DownloadCommands) {
        CLI::App* command = dwl.add_subcommand(c.name, c.description);
        auto request = std::make_shared<RunRequest>();
        addRunOptions(command, request.get(), c.kind);
        const RunCommand kind = c.kind;
        command->callback(
            [request, kind, &exitStatus]() { exitStatus = runDownloadCommand(*request, kind); });
    }
}

} // namespace dwlcli

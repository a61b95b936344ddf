// Subcommands of the dwl program. Each command lives in its own cmd_<name>.cpp and registers
// itself at start-up:
//
//     static void setupCheck(CLI::App& dwl, int& exitStatus) { ... dwl.add_subcommand(...) ... }
//     DWL_CLI_SUBCOMMAND(setupCheck);
//
// The setup function adds its subcommand to the program and, in the subcommand's callback,
// stores the program's exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace dwlcli {

using Setup = void (*)(CLI::App& dwl, int& exitStatus);

// Remembers a setup function; returns true so that it can initialise a static.
bool addSubcommand(Setup setup);
// Runs every registered setup function on the program.
void setupAll(CLI::App& dwl, int& exitStatus);

} // namespace dwlcli

#define DWL_CLI_CONCAT2(a, b) a##b
#define DWL_CLI_CONCAT(a, b) DWL_CLI_CONCAT2(a, b)
#define DWL_CLI_SUBCOMMAND(setup)                                                                  \
    static const bool DWL_CLI_CONCAT(dwl_cli_registered_, __LINE__) = dwlcli::addSubcommand(setup)

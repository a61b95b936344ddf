// Subcommands of the dwl program. Each setup function adds its subcommands to the program and,
// in their callbacks, stores the program's exit status; setupAll calls them in the order the
// help lists them.
#pragma once

#include <CLI/CLI.hpp>

namespace dwlcli {

using Setup = void (*)(CLI::App& dwl, int& exitStatus);

// flash, boot, format (cmd_download.cpp).
void setupDownloadCommands(CLI::App& dwl, int& exitStatus);
// check (cmd_check.cpp).
void setupCheck(CLI::App& dwl, int& exitStatus);
// sim (cmd_sim.cpp).
void setupSim(CLI::App& dwl, int& exitStatus);
// demo (cmd_demo.cpp).
void setupDemo(CLI::App& dwl, int& exitStatus);
// station (cmd_station.cpp).
void setupStation(CLI::App& dwl, int& exitStatus);
// results (cmd_results.cpp).
void setupResults(CLI::App& dwl, int& exitStatus);

// Runs every setup function on the program.
void setupAll(CLI::App& dwl, int& exitStatus);

} // namespace dwlcli

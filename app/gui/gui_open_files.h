// Images named on dwl-gui's command line: what the desktop's "Open with" hands over.
#pragma once

#include <string>
#include <vector>

// Loads each *.bin, *.ogm and *.tfs file of the list into its image slot, as its load button
// would after the file selection; other names are skipped with a line on stderr. Runs once the
// main panel is up.
void dwlgui_LoadImages(const std::vector<std::string>& paths);

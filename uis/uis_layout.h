// Reading the layout files (*.uir): panels with their controls, menu bars with their menus.
// The format is described in ui/LAYOUTS.md.
#pragma once

#include "uis/uis_errors.h"
#include "uis/uis_records.h"

#include <string>
#include <vector>

struct UiLayout {
    std::vector<UiPanel> panels;     // handle 0: templates
    std::vector<UiMenuBar> menuBars; // handle 0, panel 0: templates
};

// Parses the text of a layout file. On failure returns false and says why (with the line number)
// in error; layout then holds what was read before the fault.
bool uis_ParseLayout(const std::string& text, UiLayout& layout, std::string& error);

// Reads and parses a layout file. Returns 0, or UIE_FILE with the reason in error.
int uis_ReadLayout(const std::string& path, UiLayout& layout, std::string& error);

// Callback names used by a parsed layout, each once, in order of appearance.
std::vector<std::string> uis_CallbackNames(const UiLayout& layout);

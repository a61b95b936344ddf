// The command line of dwl-gui: its own options, read before Qt sees the arguments, and the
// image files that remain once Qt has taken its own (-platform, -style, ...).
#pragma once

#include <string>
#include <vector>

struct GuiOptions {
    bool emulated = false; // --sim
    bool help = false;     // --help, -h
    bool version = false;  // --version
    bool station = false;  // --station: the production station window alone
    // The arguments for Qt: the program name, then whatever is not ours.
    std::vector<char*> forQt;
    // Files named after "--": images even when their names begin with '-'.
    std::vector<std::string> files;
};

GuiOptions dwlgui_ReadOptions(int argc, char** argv);

// What Qt left of forQt, without the program name: image files, or an option that nobody
// knows. The first argument that looks like an option, or "" when there is none.
std::string dwlgui_UnknownOption(const std::vector<std::string>& left);

// The text of --help.
const char* dwlgui_Usage();

#include "app/gui/gui_options.h"

#include <cstring>

GuiOptions dwlgui_ReadOptions(int argc, char** argv) {
    GuiOptions options;
    bool filesOnly = false;
    for (int i = 0; i < argc; i++) {
        char* arg = argv[i];
        if (i == 0) {
            options.forQt.push_back(arg);
        } else if (filesOnly) {
            options.files.emplace_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            filesOnly = true;
        } else if (std::strcmp(arg, "--sim") == 0) {
            options.emulated = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(arg, "--station") == 0 && !options.station) {
            // The first --station is the window's switch; a later one names the station
            // (--station NAME) and goes on to the window's options.
            options.station = true;
        } else {
            options.forQt.push_back(arg);
        }
    }
    return options;
}

std::string dwlgui_UnknownOption(const std::vector<std::string>& left) {
    for (const std::string& arg : left) {
        if (arg.size() > 1 && arg[0] == '-') return arg;
    }
    return "";
}

const char* dwlgui_Usage() {
    return "Usage: dwl-gui [--sim] [IMAGE...] [-- IMAGE...]\n"
           "       dwl-gui --station [--port P]... [--bin F] [--ogm F] [--tfs F] [--mode M]\n"
           "               [--speed S] [--station NAME] [--results FILE|ADDRESS] [--require-unit]\n"
           "               [--start]\n"
           "The bench operator's window of dwl: writes software into PCF5087 handsets.\n"
           "\n"
           "  --sim       start with the emulated handset instead of the serial cable\n"
           "              (the Handset selector switches between them at any time)\n"
           "  IMAGE       *.bin, *.ogm, *.tfs files, loaded as their load buttons would\n"
           "  --          what follows is an image, even if its name begins with '-'\n"
           "  --station   the production station window alone, with the settings of its last\n"
           "              start unless options name others; --start starts production at once;\n"
           "              a second --station NAME names the station, --results takes a file or\n"
           "              a results server (postgresql://USER@HOST/DB); --require-unit: no\n"
           "              handset is flashed before its unit is scanned into its tile\n"
           "  --version   print the version and exit\n"
           "  -h, --help  print this help and exit\n"
           "\n"
           "Qt's own options (-platform, -style, ...) are taken too.\n";
}

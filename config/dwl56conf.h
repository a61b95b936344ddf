// The operator's settings in config.txt of the working folder: the binary image path, the COM
// port, the PMU option, the product type and the download type.
#pragma once

#include <string>

// Result codes (1 success); the configuration error window shows their texts.
constexpr int DWL_CONF_OK = 1;
constexpr int DWL_CONF_NO_FILE = 2;        // cannot be opened or created
constexpr int DWL_CONF_NO_CLA_LINE = 3;    // first keyed line is not "CLA File : "
constexpr int DWL_CONF_BAD_LINE = 4;       // a path or value too long for its field, a failed write
constexpr int DWL_CONF_COM_VALUE = 5;      // COM above 4
constexpr int DWL_CONF_COM_KEY = 6;        // no "COM : " line after the path
constexpr int DWL_CONF_PMU_VALUE = 9;      // PMU above 1
constexpr int DWL_CONF_PMU_KEY = 10;       // no "PMU : " line
constexpr int DWL_CONF_PRODUCT_VALUE = 11; // product type above 2
constexpr int DWL_CONF_PRODUCT_KEY = 12;   // no "Product Type : " line
constexpr int DWL_CONF_DOWNLOAD_VALUE = 13; // download type above 4
constexpr int DWL_CONF_DOWNLOAD_KEY = 14;   // no "Download Type : " line

// How far a restore read config.txt: the panel loads the binary image once its path was read,
// sets the COM port selector once the COM line was read, and offers the binary load button
// once every line was read.
struct ConfigRestored {
    bool claFile = false;
    bool comPort = false;
    bool complete = false;
};

// config.txt of the working folder: the file the restore and save menu items use.
std::string dwl56_2ConfigFile();

// Reads config.txt into the download context and says how far it got. Values stored before a
// failing line stay.
int dwl56_0RestoreConfig(ConfigRestored* restored);
// The same from a settings file of any name (the command line's --config).
int dwl56_3RestoreConfigFrom(const char* file, ConfigRestored* restored);
// Writes the eight lines of config.txt from the download context (CR LF line ends).
int dwl56_1SaveConfig();

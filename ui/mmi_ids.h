// Panel, control and menu-item numbers of mmi.uir.
#pragma once

// Panels and the menu bar.
constexpr int MMI_PANEL_TURN_ON = 1; // "Please switch on the mobile"
constexpr int MMI_PANEL_FORMAT = 2;
constexpr int MMI_PANEL_MAIN = 3;
constexpr int MMI_PANEL_TIMEOUT = 7;
constexpr int MMI_PANEL_SUCCESS = 8;
constexpr int MMI_MENUBAR = 1;

// The small windows (turn-on, format, time-out, success): a text and an OK button.
constexpr int MMI_WINDOW_OK = 2;
constexpr int MMI_WINDOW_TEXT = 3;

// Main panel.
constexpr int MAIN_MODEL = 1;
constexpr int MAIN_COM_PORT = 2;
constexpr int MAIN_SPEED = 3;
constexpr int MAIN_MODE = 4;
constexpr int MAIN_DOWNLOAD_CONFIG = 5;
constexpr int MAIN_SIM_LOCK = 6;
constexpr int MAIN_BIN_LOAD = 7;
constexpr int MAIN_BIN_PATH = 8;
constexpr int MAIN_BIN_SIZE = 9;
constexpr int MAIN_BIN_SUM = 10;
constexpr int MAIN_OGM_LOAD = 11;
constexpr int MAIN_OGM_PATH = 12;
constexpr int MAIN_OGM_SIZE = 13;
constexpr int MAIN_OGM_SUM = 14;
constexpr int MAIN_TFS_LOAD = 15;
constexpr int MAIN_TFS_PATH = 16;
constexpr int MAIN_TFS_SIZE = 17;
constexpr int MAIN_TFS_SUM = 18;
constexpr int MAIN_PROGRESS = 20;         // progress bar
constexpr int MAIN_PROGRESS_PERCENT = 21; // numeric
constexpr int MAIN_ELAPSED_TIME = 22;     // text
constexpr int MAIN_LOG = 23;              // operator log list box
constexpr int MAIN_LED_FLASH = 24;        // first light, shows the flash name
constexpr int MAIN_LED_2 = 25;
constexpr int MAIN_LED_3 = 26;
constexpr int MAIN_START = 27;
constexpr int MAIN_TFS_OGM_START = 28;
constexpr int MAIN_BOOT_START = 29;
constexpr int MAIN_FORMAT = 30;
constexpr int MAIN_ABOUT = 31;
constexpr int MAIN_QUIT = 32;
constexpr int MAIN_LINE = 33;            // handset ring: 0 serial cable, 1 emulated handset
constexpr int MAIN_PROGRESS_STATUS = 34; // image being written, rate, time left
constexpr int MAIN_STOP = 35;            // ends a run at its next wait
constexpr int MAIN_CHOOSE_PORT = 36;     // the port picker

// Menu bar items.
constexpr int MENU_RESTORE = 1;
constexpr int MENU_SAVE = 2;
constexpr int MENU_QUIT = 3;
constexpr int MENU_SAVE_LOG = 4;
// Item that sets chip select cs (0..3) to count (0..4) wait states.
constexpr int MENU_WAIT_STATE(int cs, int count) {
    return 10 * (cs + 1) + count;
}
constexpr int MENU_SERVICE = 50;
constexpr int MENU_LINE_TRACE = 51;
constexpr int MENU_STATION = 52;
constexpr int MENU_SECTOR_MAP = 53;
constexpr int MENU_REPORT = 54;

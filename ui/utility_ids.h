// Panel and control numbers of Utility.uir: the result and error windows.
#pragma once

constexpr int UTIL_PANEL_BOOT_ERR = 1;
constexpr int UTIL_PANEL_COMMAND_ERR = 3;
constexpr int UTIL_PANEL_CONF_ERR = 5;
constexpr int UTIL_PANEL_FLASH_ERR = 6;
constexpr int UTIL_PANEL_GENERIC_ERR = 7;
constexpr int UTIL_PANEL_LIBPC_ERR = 8;
constexpr int UTIL_PANEL_TFS_ERR = 10;

// Every window: the button and the message.
constexpr int UTIL_WINDOW_OK = 2;
constexpr int UTIL_WINDOW_TEXT = 3;

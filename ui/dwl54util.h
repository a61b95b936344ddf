// Buttons of the error windows: each closes its window, turns the lights off and releases the
// main panel.
#pragma once

int dwl54_0GenericErrWindowsButton(int panel, int control, int event, void* callbackData,
                                   int eventData1, int eventData2);
int dwl54_1FlashFileErrButton(int panel, int control, int event, void* callbackData, int eventData1,
                              int eventData2);
int dwl54_2ConfFileErrButton(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
int dwl54_3PcLibrairiesErrButton(int panel, int control, int event, void* callbackData,
                                 int eventData1, int eventData2);
int dwl54_4BootErrorWindowsButton(int panel, int control, int event, void* callbackData,
                                  int eventData1, int eventData2);
int dwl54_6CommandErrWindowButton(int panel, int control, int event, void* callbackData,
                                  int eventData1, int eventData2);
int dwl54_9TFSFileErrButton(int panel, int control, int event, void* callbackData, int eventData1,
                            int eventData2);

// Closes the window whose button was pressed; when no command is running, also turns the
// lights off and releases the main panel. Returns whether the release took place.
bool dwl54_10CloseResultWindow(int windowPanel);

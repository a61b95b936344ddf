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

// The turn-on window ("Please switch on the mobile", v_PanelTurnOn) of a run that ended in a
// time-out stays until the button of that run's time-out window, timeoutWindow.
void dwl54_11KeepTurnOnUntil(int timeoutWindow);
// Closes the turn-on window now up, whichever command showed it.
void dwl54_12CloseTurnOn();

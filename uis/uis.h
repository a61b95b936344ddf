// User-interface services: panels and menu bars loaded from the layout files (*.uir, a text
// format of our own), controls addressed by panel handle and control number, callbacks bound by
// the names written in the layout files, pop-ups and the event loop.
//
// The services keep the state of every panel themselves (the headless backend). A view backend
// (Qt Widgets, platform/qt) can be attached to render that state and feed the operator's actions
// back through the uis_Operate* functions.
#pragma once

#include "uis/uis_errors.h"

#include <cstddef>

// Events passed to control callbacks.
constexpr int EVENT_COMMIT = 1;
constexpr int EVENT_VAL_CHANGED = 2;
// Passed to a panel's close callback (control 0) when its window is closed.
constexpr int EVENT_CLOSE = 12;

// Control attributes.
constexpr int ATTR_DIMMED = 500;     // int: 1 dimmed, 0 enabled
constexpr int ATTR_LABEL_TEXT = 630; // text shown by the control (labels, text messages)
constexpr int ATTR_ON_TEXT = 940;    // text shown by an indicator light

// FileSelectPopup results.
constexpr int VAL_NO_FILE_SELECTED = 0;
constexpr int VAL_EXISTING_FILE_SELECTED = 1;
constexpr int VAL_NEW_FILE_SELECTED = 2;

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData,
                                int eventData1, int eventData2);
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// A callback the layout files may name. Exactly one of ctrl / menu is set.
struct CallbackBinding {
    const char* name;
    CtrlCallbackPtr ctrl;
    MenuCallbackPtr menu;
};

// Binds names to callbacks for every later load (replaces an earlier table).
void uis_SetCallbackTable(const CallbackBinding* table, size_t count);
// Folder in which LoadPanel and LoadMenuBar look for layout files given by plain name
// (default: the working directory).
void uis_SetLayoutDirectory(const char* directory);

// --- Operations the system's code uses --------------------------------------------------------
int LoadPanel(int parentPanel, const char* layoutFile, int panelResource);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int LoadMenuBar(int panel, const char* layoutFile, int menuBarResource);
int DiscardMenuBar(int menuBar);
int RunUserInterface();
int QuitUserInterface(int returnCode);
int ProcessSystemEvents();

int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, char* text, size_t size);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, const char* text);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* text);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, char* text, size_t size);
int SetCtrlIndex(int panel, int control, int index);
int GetCtrlIndex(int panel, int control, int* index);
int InsertListItem(int panel, int control, int index, const char* label, int value);
// Gives the item at the index a new label and value (the selection stays on that index).
int ReplaceListItem(int panel, int control, int index, const char* label, int value);
// Removes every item of a list.
int ClearListCtrl(int panel, int control);
int GetNumListItems(int panel, int control, int* count);
int GetLabelFromIndex(int panel, int control, int index, char* text, size_t size);
int GetValueFromIndex(int panel, int control, int index, int* value);
int ResetTextBox(int panel, int control, const char* text);
int InsertTextBoxLine(int panel, int control, int line, const char* text);

// Returns a VAL_* result; on a choice the path (at most pathSize-1 characters) is in path.
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, const char* buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* path, size_t pathSize = 260);
int MessagePopup(const char* title, const char* message);

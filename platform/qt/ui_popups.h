// The pop-ups of the services on Qt: the file selection dialog and the message box, and the
// folder in which the file dialog opens.
#pragma once

#include <string>

class QWidget;

// Folder the file dialog opens in for a requested default directory. A folder that exists here
// is taken as it is; any other (the images folder of the bench PC, "c:/images") maps to
// $DWL_IMAGES_DIR when set, else ~/images when it exists, else the working directory.
std::string dwl_qt_ImagesFolder(const char* requested);

// Modal file dialog; returns a VAL_* status and the chosen path. save: a file to write, which
// may be a new one.
int dwl_qt_FileDialog(QWidget* parent, const char* defaultDirectory, const char* fileType,
                      const char* title, std::string& path, bool save = false);
// Modal message box with an OK button.
void dwl_qt_MessageBox(QWidget* parent, const char* title, const char* text);

// "Open report": dwl results --html writes the report of a results file (or of the line's
// results server) to this user's data folder, and the desktop's browser shows it. The program
// links no database: dwl does the reading.
#pragma once

#include <QString>

#include <string>

class QWidget;

// Whether the desktop has a browser to open a page with (on Linux: xdg-open).
bool dwlgui_BrowserAvailable();
// Where the report goes: report.html in this user's data folder for the program.
QString dwlgui_ReportPath();
// Runs `program results --db results --html dwlgui_ReportPath()` without waiting for it, then
// opens the page; a failure is shown over parent.
void dwlgui_OpenReport(const std::string& program, const std::string& results, QWidget* parent);

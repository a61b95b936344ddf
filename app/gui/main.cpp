// dwl-gui: the bench operator's program. The main panel and its windows on Qt Widgets, the COM
// ports on real serial devices, or, on request, on the emulated handset inside the program.
//
//     dwl-gui [--sim] [--version] [--help] [FILE...] [-- FILE...]
//
// --sim starts with the emulated handset; the Handset ring of the main panel switches between
// the serial cable and the emulated handset at any time between commands. Image files named
// (*.bin, *.ogm, *.tfs) are loaded as their load buttons would load them.
#include "app/gui/gui_line.h"
#include "app/gui/gui_operator.h"
#include "app/gui/gui_options.h"
#include "dwl_version.h"
#include "platform/qt/ui_sector_map.h"
#include "platform/qt/ui_view.h"
#include "platform/qt/ui_wait_hook.h"
#include "startup/dwl50dev.h"
#include "ui/dwl51mmi.h"
#include "uis/uis.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int runTimeReady(int, char**) {
    return QApplication::instance() != nullptr ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    // Our own options go before Qt sees the arguments.
    GuiOptions options = dwlgui_ReadOptions(argc, argv);
    if (options.help) {
        std::fputs(dwlgui_Usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("dwl-gui %s\n", DWL_VERSION);
        return 0;
    }
    const bool emulated = options.emulated;
    std::vector<char*>& args = options.forQt;
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    QApplication app(count, args.data());
    // What Qt left of the arguments: the image files, unless one is an option nobody knows.
    std::vector<std::string> left(args.begin() + 1, args.begin() + count);
    const std::string unknown = dwlgui_UnknownOption(left);
    if (!unknown.empty()) {
        std::fprintf(stderr, "dwl-gui: unknown option %s\n%s", unknown.c_str(), dwlgui_Usage());
        return 2;
    }
    left.insert(left.end(), options.files.begin(), options.files.end());
    // The main window closes through its own callback, which ends the program.
    app.setQuitOnLastWindowClosed(false);
    QCoreApplication::setOrganizationName(QStringLiteral("dwl"));
    QCoreApplication::setApplicationName(QStringLiteral("dwl-gui"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DWL_VERSION));
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    v_ProgramVersion = version.c_str();
    std::vector<std::string> files;
    for (const std::string& arg : left)
        files.push_back(
            QFile::encodeName(QFileInfo(QString::fromLocal8Bit(arg.c_str())).absoluteFilePath())
                .toStdString());

    dwlgui_InstallCable();
    dwlgui_RestorePortChoices();
    QtUiView view;
    view.install();
    dwl_qt_InstallWaitHook();
    dwl_qt_InstallSectorMap();
    dwlgui_UseLayoutFolder();

    v_SelectLineHook = &dwlgui_SelectLine;
    if (emulated) {
        v_LineEmulated = 1;
        dwlgui_SelectLine(1);
    }
    v_InitRunTimeHook = &runTimeReady;

    // Once the main panel is up and the event loop runs.
    QTimer::singleShot(0, &view, [&view, files] {
        dwlgui_InstallOperatorAids(view);
        if (!files.empty()) dwlgui_LoadFiles(view, files);
    });
    const int rc = dwl50_0Main(1, args.data());
    dwlgui_RemoveOperatorAids();

    dwl_qt_RemoveSectorMap();
    dwl_qt_RemoveWaitHook();
    v_SelectLineHook = nullptr;
    dwlgui_SelectLine(0);
    uis_SetView(nullptr);
    return rc;
}

// dwl-gui: the bench operator's program. The main panel and its windows on Qt Widgets, the COM
// ports on real serial devices, or, on request, on the emulated handset inside the program.
//
//     dwl-gui [--sim] [--version] [--help] [FILE...] [-- FILE...]
//     dwl-gui --station [--port P]... [--bin F] [--ogm F] [--tfs F] [--mode M] [--speed S]
//                       [--station NAME] [--results FILE|ADDRESS] [--start]
//
// --sim starts with the emulated handset; the Handset ring of the main panel switches between
// the serial cable and the emulated handset at any time between commands. Image files named
// (*.bin, *.ogm, *.tfs) are loaded as their load buttons would load them.
//
// --station shows the production station window alone, with the settings of its last start
// unless options name others; --start starts production at once.
#include "app/gui/gui_line.h"
#include "app/gui/gui_options.h"
#include "app/gui/qt/gui_operator.h"
#include "app/gui/qt/station_control.h"
#include "app/gui/qt/station_window.h"
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
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int runTimeReady(int, char**) {
    return QApplication::instance() != nullptr ? 1 : 0;
}

void nameProgram() {
    QCoreApplication::setOrganizationName(QStringLiteral("dwl"));
    QCoreApplication::setApplicationName(QStringLiteral("dwl-gui"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DWL_VERSION));
}

// The station window alone; args: what Qt left of the arguments after --station.
int runStation(QApplication& app, const std::vector<std::string>& args) {
    StationSettings settings = dwlgui_RestoreStationSettings();
    bool start = false;
    std::string why;
    if (!station_ParseOptions(args, &settings, &start, &why)) {
        std::fprintf(stderr, "dwl-gui: %s\n", why.c_str());
        return 64;
    }
    StationControl station(dwlgui_StationProgram(), settings, !settings.ports.empty());
    station.setSettingsKeeper(&dwlgui_KeepStationSettings);
    station.setClosedObserver([] { QCoreApplication::exit(0); });
    // The station's own screen, also where no window manager maximises it.
    StationWindow& window = station.window();
    window.setGeometry(window.screen()->availableGeometry());
    window.showMaximized();
    if (start) station.start();
    return app.exec();
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
    // The windows close through their own callbacks, which end the program.
    app.setQuitOnLastWindowClosed(false);
    nameProgram();
    if (options.station)
        return runStation(app, std::vector<std::string>(args.begin() + 1, args.begin() + count));
    // What Qt left of the arguments: the image files, unless one is an option nobody knows.
    std::vector<std::string> left(args.begin() + 1, args.begin() + count);
    const std::string unknown = dwlgui_UnknownOption(left);
    if (!unknown.empty()) {
        std::fprintf(stderr, "dwl-gui: unknown option %s\n%s", unknown.c_str(), dwlgui_Usage());
        return 2;
    }
    left.insert(left.end(), options.files.begin(), options.files.end());
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
    v_StationHook = &dwlgui_ShowStation;
    v_SectorMapHook = &dwl_qt_ShowSectorMap;
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
    v_StationHook = nullptr;
    v_SectorMapHook = nullptr;
    dwlgui_FinishStation();

    dwl_qt_RemoveSectorMap();
    dwl_qt_RemoveWaitHook();
    v_SelectLineHook = nullptr;
    dwlgui_SelectLine(0);
    uis_SetView(nullptr);
    return rc;
}

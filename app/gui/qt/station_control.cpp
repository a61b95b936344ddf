#include "app/gui/qt/station_control.h"

#include "app/gui/qt/report_opener.h"
#include "app/gui/qt/station_child.h"
#include "app/gui/qt/station_log_view.h"
#include "app/gui/qt/station_settings_box.h"
#include "app/gui/qt/station_tile.h"
#include "app/gui/qt/station_tile_grid.h"
#include "app/gui/qt/station_totals_bar.h"
#include "app/gui/qt/station_window.h"
#include "app/options/option_values.h"
#include "app/options/server_address.h"
#include "app/options/unit_scan.h"
#include "platform/qt/ui_sector_map.h"
#include "platform/qt/ui_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// How often at most the window is brought up to date: lines are read as they come, but drawn
// together.
constexpr int kRefreshMsecs = 200;
// The second interrupt of a cancel follows the first after this, so that the station sees two.
constexpr int kSecondInterruptMsecs = 500;
// How long the end of the program waits for a cancelled station to end before it kills it.
constexpr int kEndMsecs = 15000;
// The station window goes beside the main window only with this much room at least: its tiles
// are its purpose.
constexpr int kNarrowestBeside = 960;

std::vector<std::string> modeNames() {
    std::vector<std::string> names;
    for (int mode = 0; mode <= 6; mode++)
        names.push_back(dwlcli::modeName(mode));
    return names;
}

QString portsText(size_t count) {
    return count == 1 ? QObject::tr("1 port") : QObject::tr("%1 ports").arg(count);
}

// A results server's address that an older dwl-gui made into a path below its working folder
// and remembered so ("/work/postgresql:/USER@HOST/DB", "/work/host=H dbname=D"): the address
// again. Any other value is returned as it is.
std::string mendedResults(const std::string& saved) {
    if (saved.empty() || saved[0] != '/' || dwlcli::isServerAddress(saved)) return saved;
    for (size_t slash = 0; (slash = saved.find('/', slash)) != std::string::npos; slash++) {
        std::string rest = saved.substr(slash + 1);
        for (const char* scheme : {"postgresql:/", "postgres:/"}) {
            const size_t length = std::strlen(scheme);
            if (rest.compare(0, length, scheme) == 0 &&
                rest.compare(0, length + 1, std::string(scheme) + "/") != 0)
                return rest.substr(0, length) + "/" + rest.substr(length);
        }
        // key=value pairs (more than one: a file may be named "dbname=x.sqlite"), the first key
        // right after the folder.
        const size_t equals = rest.find('=');
        if (equals != std::string::npos && equals < rest.find('/') &&
            rest.find(' ') != std::string::npos && dwlcli::isServerAddress(rest))
            return rest;
    }
    return saved;
}

QString joined(const std::deque<std::string>& lines) {
    QString text;
    for (const std::string& line : lines)
        text += QString::fromStdString(line) + QLatin1Char('\n');
    return text;
}

} // namespace

StationControl::StationControl(const std::string& program, const StationSettings& settings,
                               bool locked)
    : program_(program), window_(std::make_unique<StationWindow>()),
      child_(std::make_unique<StationChild>()) {
    StationWindow& w = *window_;
    w.settingsBox()->setModeNames(modeNames());
    w.settingsBox()->setSettings(settings);
    w.settingsBox()->showImages(station_ReadImages(settings));
    w.settingsBox()->setLocked(locked);
    station_Begin(model_, settings.ports, "Not started");

    QObject::connect(w.startButton(), &QPushButton::clicked, [this] { start(); });
    QObject::connect(w.stopButton(), &QPushButton::clicked, [this] { stop(); });
    QObject::connect(w.unlockButton(), &QPushButton::clicked, [this] { unlock(); });
    QObject::connect(w.stationLogButton(), &QPushButton::clicked,
                     [this] { showLog(kStationWide); });
    QObject::connect(w.reportButton(), &QPushButton::clicked, [this] { openReport(); });
    w.reportButton()->setVisible(dwlgui_BrowserAvailable());
    QObject::connect(w.grid(), &StationTileGrid::tileClicked, [this](int i) { showLog(i); });
    QObject::connect(w.grid(), &StationTileGrid::tileScanned,
                     [this](int i, const QString& unit) { scanned(i, unit); });
    QObject::connect(w.settingsBox(), &StationSettingsBox::edited, [this] {
        imagesEdited();
        scheduleRefresh();
    });
    w.setCloseCheck([this] { return mayClose(); });

    QObject::connect(child_.get(), &StationChild::outputLine,
                     [this](const std::string& line) { readLine(line); });
    QObject::connect(child_.get(), &StationChild::errorLine,
                     [this](const std::string& line) { readErrorLine(line); });
    QObject::connect(child_.get(), &StationChild::ended,
                     [this](const QString& how) { ended(how); });

    refreshTimer_.setSingleShot(true);
    QObject::connect(&refreshTimer_, &QTimer::timeout, [this] { refresh(); });
    secondInterrupt_.setSingleShot(true);
    QObject::connect(&secondInterrupt_, &QTimer::timeout, [this] {
        if (phase_ == CANCELLING) child_->interrupt();
    });
    refresh();
}

StationControl::~StationControl() {
    // A station still running is cancelled: its ports' runs end as cancelled and are recorded.
    child_->end(kEndMsecs);
}

void StationControl::setSettingsKeeper(std::function<void(const StationSettings&)> keeper) {
    keeper_ = std::move(keeper);
}

void StationControl::setRefreshObserver(std::function<void()> observer) {
    refreshObserver_ = std::move(observer);
}

void StationControl::setClosedObserver(std::function<void()> observer) {
    closedObserver_ = std::move(observer);
}

void StationControl::start() {
    if (active()) return;
    StationSettingsBox& box = *window_->settingsBox();
    const StationSettings settings = box.settings();
    if (settings.ports.empty()) {
        QMessageBox::warning(window_.get(), window_->windowTitle(),
                             QObject::tr("Name the ports of the station first."));
        return;
    }
    if (keeper_) keeper_(settings);
    closeAsked_ = false;
    station_Begin(model_, settings.ports);
    box.showImages(station_ReadImages(settings));
    box.setLocked(true);
    phase_ = RUNNING;
    ran_ = true;
    unlockAfterStop_ = false;
    endText_.clear();
    lastError_.clear();
    // A station that cannot start reports its end at once.
    child_->start(program_, station_CommandArgs(settings));
    refresh();
}

void StationControl::scanned(int port, const QString& text) {
    if (port < 0 || port >= static_cast<int>(model_.ports.size())) return;
    StationPort& p = model_.ports[port];
    const std::string unit = text.toStdString();
    // The rules the station checks by: what it would refuse is refused here, with its reason.
    std::string problem = dwlcli::unitIdProblem(unit);
    if (problem.empty() && phase_ != RUNNING) problem = "the station does not run";
    if (problem.empty() && !child_->write(p.look.port + " " + dwlcli::trimmedUnitId(unit) + "\n"))
        problem = "the station does not take it";
    if (problem.empty()) return;
    p.look.note = "Scan refused: " + problem;
    p.log.push_back("scan refused: " + problem);
    p.logCount++;
    scheduleRefresh();
}

void StationControl::stop() {
    if (phase_ == RUNNING) {
        phase_ = STOPPING;
        child_->interrupt();
    } else if (phase_ == STOPPING) {
        phase_ = CANCELLING;
        child_->interrupt();
    }
    refresh();
}

void StationControl::cancelRuns() {
    if (phase_ == RUNNING) {
        phase_ = CANCELLING;
        child_->interrupt();
        secondInterrupt_.start(kSecondInterruptMsecs);
    } else if (phase_ == STOPPING) {
        phase_ = CANCELLING;
        child_->interrupt();
    }
    refresh();
}

void StationControl::unlock() {
    StationSettingsBox& box = *window_->settingsBox();
    if (!box.locked() || unlockAfterStop_) return;
    const QString question =
        active() ? QObject::tr("Production runs with these settings. Unlocking them stops the "
                               "station: the runs in progress finish, then the ports stop.\n\n"
                               "Unlock the settings?")
                 : QObject::tr("These are the settings of the station's production.\n\n"
                               "Unlock them for changes?");
    const auto answer =
        QMessageBox::question(window_.get(), QObject::tr("Unlock settings"), question,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    if (active()) {
        unlockAfterStop_ = true;
        if (phase_ == RUNNING) stop();
    } else {
        box.setLocked(false);
    }
    refresh();
}

void StationControl::showLog(int port) {
    StationLogView& view = *window_->logView();
    logShown_ = ~0ul;
    view.showLog(port, QString(), QString());
    refreshLog();
    view.show();
    view.raise();
}

void StationControl::refreshLog() {
    StationLogView& view = *window_->logView();
    const int whose = view.whose();
    if (whose >= static_cast<int>(model_.ports.size())) return;
    if (whose >= 0) {
        const StationPort& p = model_.ports[whose];
        if (p.logCount == logShown_) return;
        logShown_ = p.logCount;
        QString text = joined(p.log);
        if (!p.lastResult.empty()) {
            text += QObject::tr("\nResult of the last run:\n");
            for (const std::string& line : p.lastResult)
                text += QStringLiteral("  ") + QString::fromStdString(line) + QLatin1Char('\n');
        }
        view.showLog(
            whose,
            QObject::tr("Log of %1  %2")
                .arg(QString::fromStdString(p.look.port), QString::fromStdString(p.look.device)),
            text);
        return;
    }
    if (model_.logCount == logShown_) return;
    logShown_ = model_.logCount;
    view.showLog(kStationWide, QObject::tr("Station log"), joined(model_.log));
}

void StationControl::readLine(const std::string& line) {
    const bool wasStarted = model_.started;
    station_ReadLine(model_, line);
    if (model_.started && !wasStarted) showSettingsOfStation();
    scheduleRefresh();
}

void StationControl::readErrorLine(const std::string& line) {
    if (station_ReadErrorLine(model_, line) == kStationWide) lastError_ = line;
    scheduleRefresh();
}

// The settings box shows what the station says it runs with, not what was asked.
void StationControl::showSettingsOfStation() {
    StationSettingsBox& box = *window_->settingsBox();
    StationSettings shown = box.settings();
    shown.bin.clear();
    shown.ogm.clear();
    shown.tfs.clear();
    for (const StationImage& image : model_.images) {
        if (image.kind == "binary") shown.bin = image.path;
        if (image.kind == "ogm") shown.ogm = image.path;
        if (image.kind == "tfs") shown.tfs = image.path;
    }
    if (!model_.mode.empty()) shown.mode = dwlcli::parseMode(model_.mode);
    if (model_.baud > 0) shown.baud = model_.baud;
    box.setSettings(shown);
    box.showImages(model_.images);
}

void StationControl::imagesEdited() {
    window_->settingsBox()->showImages(station_ReadImages(window_->settingsBox()->settings()));
}

void StationControl::ended(const QString& how) {
    station_Ended(model_, how.toStdString());
    phase_ = IDLE;
    secondInterrupt_.stop();
    endText_ = how;
    // Settings the station never started with (it refused them, or could not run) stay open to
    // be mended.
    if (unlockAfterStop_ || !model_.started) window_->settingsBox()->setLocked(false);
    unlockAfterStop_ = false;
    // A close asked while production ran waited for this end: the window stays with the runs'
    // verdicts on its tiles, and the operator closes it once they are read.
    refresh();
}

bool StationControl::mayClose() {
    if (!active()) {
        if (closedObserver_) closedObserver_();
        return true;
    }
    if (phase_ == CANCELLING || asking_) {
        // The station is ending, or the question open answers first.
        if (phase_ == CANCELLING) closeAsked_ = true;
        refresh();
        return false;
    }
    asking_ = true;
    QMessageBox box(QMessageBox::Question, window_->windowTitle(),
                    QObject::tr("Production is running on %1.").arg(portsText(model_.ports.size())),
                    QMessageBox::NoButton, window_.get());
    box.setInformativeText(
        QObject::tr("The window stays until the station has stopped and shows the runs' "
                    "verdicts; close it then."));
    QPushButton* finish = nullptr;
    if (phase_ == RUNNING)
        finish = box.addButton(QObject::tr("Finish the runs in progress"), QMessageBox::AcceptRole);
    QPushButton* cancel =
        box.addButton(QObject::tr("Cancel the runs in progress"), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(QObject::tr("Keep running"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    asking_ = false;
    if (box.clickedButton() == finish && phase_ == RUNNING) {
        closeAsked_ = true;
        stop();
    } else if (box.clickedButton() == cancel && active()) {
        closeAsked_ = true;
        cancelRuns();
    }
    // The station may have ended while the question was open.
    if (!active()) {
        if (closedObserver_) closedObserver_();
        return true;
    }
    return false;
}

void StationControl::scheduleRefresh() {
    if (!refreshTimer_.isActive()) refreshTimer_.start(kRefreshMsecs);
}

QString StationControl::statusText() const {
    switch (phase_) {
    case RUNNING:
        return QObject::tr("Running on %1.").arg(portsText(model_.ports.size())) +
               (model_.station.empty()
                    ? QString()
                    : QObject::tr(" Station %1.").arg(QString::fromStdString(model_.station)));
    case STOPPING:
        return QObject::tr("Stopping: the runs in progress finish, then the ports stop. Press "
                           "Stop again to cancel the runs in progress.");
    case CANCELLING: return QObject::tr("Cancelling the runs in progress.");
    case IDLE: break;
    }
    if (!ran_) return QObject::tr("Not running. Start begins production on the ports named.");
    QString text = QObject::tr("Stopped: %1.").arg(endText_);
    if (closeAsked_)
        text += QObject::tr(" The tiles show the verdicts of the last runs; the window may be "
                            "closed now.");
    // A station that did not stop by itself has likely said why last.
    if (model_.stopReason.empty() && !lastError_.empty())
        text += QLatin1Char('\n') + QString::fromStdString(lastError_);
    return text;
}

void StationControl::refresh() {
    refreshTimer_.stop();
    StationWindow& w = *window_;
    StationTileGrid& grid = *w.grid();
    const int count = static_cast<int>(model_.ports.size());
    if (grid.count() != count) grid.setCount(count);
    for (int i = 0; i < count; i++)
        grid.tile(i)->setLook(model_.ports[i].look);
    w.totalsBar()->setTotals(model_.totals);
    w.totalsBar()->setStatus(statusText());
    w.totalsBar()->setResults(QString::fromStdString(model_.results),
                              QString::fromStdString(model_.server));
    w.startButton()->setEnabled(phase_ == IDLE);
    w.stopButton()->setEnabled(phase_ == RUNNING || phase_ == STOPPING);
    w.stopButton()->setText(phase_ == STOPPING ? QObject::tr("Cancel runs") : QObject::tr("Stop"));
    w.unlockButton()->setEnabled(w.settingsBox()->locked() && !unlockAfterStop_ &&
                                 (phase_ == IDLE || phase_ == RUNNING));
    w.reportButton()->setEnabled(!reportSource().empty());
    if (w.logView()->isVisible()) refreshLog();
    if (refreshObserver_) refreshObserver_();
}

std::string StationControl::reportSource() const {
    return !model_.results.empty() ? model_.results : window_->settingsBox()->settings().results;
}

void StationControl::openReport() {
    const std::string source = reportSource();
    if (!source.empty()) dwlgui_OpenReport(program_, source, window_.get());
}

std::string dwlgui_StationProgram() {
    const char* env = std::getenv("DWL_STATION_PROGRAM");
    if (env != nullptr && env[0] != '\0') return env;
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/dwl"));
    if (beside.isExecutable()) return beside.absoluteFilePath().toStdString();
    return "dwl";
}

StationSettings dwlgui_RestoreStationSettings() {
    QSettings kept;
    kept.beginGroup(QStringLiteral("station"));
    StationSettings s;
    for (const QString& port : kept.value(QStringLiteral("ports")).toStringList())
        s.ports.push_back(port.toStdString());
    s.bin = kept.value(QStringLiteral("bin")).toString().toStdString();
    s.ogm = kept.value(QStringLiteral("ogm")).toString().toStdString();
    s.tfs = kept.value(QStringLiteral("tfs")).toString().toStdString();
    s.mode = kept.value(QStringLiteral("mode"), -1).toInt();
    s.baud = kept.value(QStringLiteral("baud"), 0).toInt();
    s.station = kept.value(QStringLiteral("station")).toString().toStdString();
    s.results = mendedResults(kept.value(QStringLiteral("results")).toString().toStdString());
    return s;
}

void dwlgui_KeepStationSettings(const StationSettings& s) {
    QSettings kept;
    kept.beginGroup(QStringLiteral("station"));
    QStringList ports;
    for (const std::string& port : s.ports)
        ports << QString::fromStdString(port);
    kept.setValue(QStringLiteral("ports"), ports);
    kept.setValue(QStringLiteral("bin"), QString::fromStdString(s.bin));
    kept.setValue(QStringLiteral("ogm"), QString::fromStdString(s.ogm));
    kept.setValue(QStringLiteral("tfs"), QString::fromStdString(s.tfs));
    kept.setValue(QStringLiteral("mode"), s.mode);
    kept.setValue(QStringLiteral("baud"), static_cast<qlonglong>(s.baud));
    kept.setValue(QStringLiteral("station"), QString::fromStdString(s.station));
    kept.setValue(QStringLiteral("results"), QString::fromStdString(s.results));
}

namespace {

std::unique_ptr<StationControl>& programStation() {
    static std::unique_ptr<StationControl> station;
    return station;
}

} // namespace

void dwlgui_PlaceStationWindow(QWidget& window, QWidget& main, const QRect& screen) {
    const QSize decorations = main.frameGeometry().size() - main.size();
    QPoint mainMove;
    const QRect frame = dwl_qt_PlaceBeside(
        main.frameGeometry(), screen, window.width(),
        std::max(window.minimumSizeHint().width(), kNarrowestBeside), decorations,
        [&](int) { return screen.height() - decorations.height(); }, &mainMove);
    if (!mainMove.isNull()) main.move(main.pos() + mainMove);
    window.move(frame.topLeft());
    window.resize(frame.size() - decorations);
}

void dwlgui_ShowStation() {
    std::unique_ptr<StationControl>& station = programStation();
    if (!station) {
        const StationSettings kept = dwlgui_RestoreStationSettings();
        station =
            std::make_unique<StationControl>(dwlgui_StationProgram(), kept, !kept.ports.empty());
        station->setSettingsKeeper(&dwlgui_KeepStationSettings);
        QtUiView* view = QtUiView::active();
        QWidget* main = view != nullptr ? view->mainWindow() : nullptr;
        if (main != nullptr && main->screen() != nullptr)
            dwlgui_PlaceStationWindow(station->window(), *main,
                                      main->screen()->availableGeometry());
    }
    station->window().show();
    station->window().raise();
    station->window().activateWindow();
}

std::string dwlgui_StationReportSource() {
    const std::unique_ptr<StationControl>& station = programStation();
    return station ? station->reportSource() : dwlgui_RestoreStationSettings().results;
}

void dwlgui_OpenStationReport() {
    const std::unique_ptr<StationControl>& station = programStation();
    if (station) {
        station->openReport();
        return;
    }
    const std::string source = dwlgui_RestoreStationSettings().results;
    QtUiView* view = QtUiView::active();
    if (!source.empty())
        dwlgui_OpenReport(dwlgui_StationProgram(), source,
                          view != nullptr ? view->mainWindow() : nullptr);
}

void dwlgui_FinishStation() {
    std::unique_ptr<StationControl>& station = programStation();
    if (station && station->active()) {
        QEventLoop loop;
        station->setClosedObserver([&loop] { loop.quit(); });
        station->window().show();
        station->window().raise();
        loop.exec();
        station->setClosedObserver(nullptr);
    }
    station.reset();
}

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

// How long the end of the program waits for a cancelled station to end before it kills it.
constexpr int kEndMsecs = 15000;
// The station window goes beside the main window only with this much room at least: its tiles
// are its purpose.
constexpr int kNarrowestBeside = 960;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

StationControl::StationControl(const std::string& program, const StationSettings& settings,
                               bool locked)
    : program_(program), window_(std::make_unique<StationWindow>()),
      child_(std::make_unique<StationChild>()) {
    StationWindow& w = *window_;
    w.settingsBox()->setModeNames(stationrun_ModeNames());
    w.settingsBox()->setSettings(settings);
    w.settingsBox()->showImages(station_ReadImages(settings));
    w.settingsBox()->setLocked(locked);
    stationrun_Init(run_, settings.ports);

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
        if (run_.phase == STATION_CANCELLING) child_->interrupt();
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
    stationrun_Start(run_, settings);
    box.showImages(station_ReadImages(settings));
    box.setLocked(true);
    // A station that cannot start reports its end at once.
    child_->start(program_, station_CommandArgs(settings));
    refresh();
}

void StationControl::scanned(int port, const QString& text) {
    if (port < 0 || port >= static_cast<int>(run_.model.ports.size())) return;
    StationPort& p = run_.model.ports[port];
    const std::string unit = text.toStdString();
    // The rules the station checks by: what it would refuse is refused here, with its reason.
    std::string problem = dwlcli::unitIdProblem(unit);
    if (problem.empty() && run_.phase != STATION_RUNNING) problem = "the station does not run";
    if (problem.empty() && !child_->write(p.look.port + " " + dwlcli::trimmedUnitId(unit) + "\n"))
        problem = "the station does not take it";
    if (problem.empty()) return;
    p.look.note = "Scan refused: " + problem;
    p.log.push_back("scan refused: " + problem);
    p.logCount++;
    scheduleRefresh();
}

void StationControl::send(StationInterrupts interrupts) {
    for (int i = 0; i < interrupts.now; i++)
        child_->interrupt();
    if (interrupts.later) secondInterrupt_.start(kStationSecondMsecs);
}

void StationControl::stop() {
    send(stationrun_Stop(run_));
    refresh();
}

void StationControl::unlock() {
    StationSettingsBox& box = *window_->settingsBox();
    if (!stationrun_MayUnlock(run_, box.locked())) return;
    const auto answer = QMessageBox::question(window_.get(), QObject::tr("Unlock settings"),
                                              qs(stationrun_UnlockQuestion(run_)),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    StationInterrupts interrupts;
    if (stationrun_UnlockAnswered(run_, &interrupts)) box.setLocked(false);
    send(interrupts);
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
    if (whose >= static_cast<int>(run_.model.ports.size())) return;
    const unsigned long count = stationrun_LogCount(run_.model, whose);
    if (count == logShown_) return;
    logShown_ = count;
    view.showLog(whose, qs(stationrun_LogTitle(run_.model, whose)),
                 qs(stationrun_LogText(run_.model, whose)));
}

void StationControl::readLine(const std::string& line) {
    if (stationrun_ReadLine(run_, line)) showSettingsOfStation();
    scheduleRefresh();
}

void StationControl::readErrorLine(const std::string& line) {
    stationrun_ReadErrorLine(run_, line);
    scheduleRefresh();
}

// The settings box shows what the station says it runs with, not what was asked.
void StationControl::showSettingsOfStation() {
    StationSettingsBox& box = *window_->settingsBox();
    box.setSettings(stationrun_SettingsOfStation(run_.model, box.settings()));
    box.showImages(run_.model.images);
}

void StationControl::imagesEdited() {
    window_->settingsBox()->showImages(station_ReadImages(window_->settingsBox()->settings()));
}

void StationControl::ended(const QString& how) {
    secondInterrupt_.stop();
    if (stationrun_Ended(run_, how.toStdString())) window_->settingsBox()->setLocked(false);
    refresh();
}

bool StationControl::mayClose() {
    switch (stationrun_CloseAsked(run_, asking_)) {
    case STATION_CLOSE_NOW:
        if (closedObserver_) closedObserver_();
        return true;
    case STATION_CLOSE_WAIT: refresh(); return false;
    case STATION_CLOSE_ASK: break;
    }
    asking_ = true;
    QMessageBox box(QMessageBox::Question, window_->windowTitle(),
                    qs(stationrun_CloseQuestion(run_)), QMessageBox::NoButton, window_.get());
    box.setInformativeText(QObject::tr(kStationCloseInformation));
    QPushButton* finish = nullptr;
    if (run_.phase == STATION_RUNNING)
        finish = box.addButton(QObject::tr(kStationFinishButton), QMessageBox::AcceptRole);
    QPushButton* cancel =
        box.addButton(QObject::tr(kStationCancelButton), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(QObject::tr(kStationKeepButton), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    asking_ = false;
    const StationCloseAnswer answer = box.clickedButton() == finish   ? STATION_ANSWER_FINISH
                                      : box.clickedButton() == cancel ? STATION_ANSWER_CANCEL
                                                                      : STATION_ANSWER_KEEP;
    StationInterrupts interrupts;
    const bool closes = stationrun_CloseAnswered(run_, answer, &interrupts);
    send(interrupts);
    refresh();
    if (closes && closedObserver_) closedObserver_();
    return closes;
}

void StationControl::scheduleRefresh() {
    if (!refreshTimer_.isActive()) refreshTimer_.start(kStationRefreshMsecs);
}

void StationControl::refresh() {
    refreshTimer_.stop();
    StationWindow& w = *window_;
    StationTileGrid& grid = *w.grid();
    const int count = static_cast<int>(run_.model.ports.size());
    if (grid.count() != count) grid.setCount(count);
    for (int i = 0; i < count; i++)
        grid.tile(i)->setLook(run_.model.ports[i].look);
    w.totalsBar()->setTotals(run_.model.totals);
    w.totalsBar()->setStatus(qs(stationrun_StatusText(run_)));
    w.totalsBar()->setResults(qs(run_.model.results), qs(run_.model.server));
    const StationButtons buttons = stationrun_Buttons(run_, w.settingsBox()->locked());
    w.startButton()->setEnabled(buttons.start);
    w.stopButton()->setEnabled(buttons.stop);
    w.stopButton()->setText(QObject::tr(buttons.stopText));
    w.unlockButton()->setEnabled(buttons.unlock);
    w.reportButton()->setEnabled(!reportSource().empty());
    if (w.logView()->isVisible()) refreshLog();
    if (refreshObserver_) refreshObserver_();
}

std::string StationControl::reportSource() const {
    return !run_.model.results.empty() ? run_.model.results : window_->settingsBox()->settings().results;
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
    s.results =
        stationrun_MendedResults(kept.value(QStringLiteral("results")).toString().toStdString());
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

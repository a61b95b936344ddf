// The station window: the settings above, the totals beside them, a tile per port below, and
// the buttons that start and stop production. It draws what it is given and reports what the
// operator does; closing it asks the closeCheck first.
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QScrollArea;
class StationLogView;
class StationSettingsBox;
class StationTileGrid;
class StationTotalsBar;

class StationWindow : public QWidget {
    Q_OBJECT

  public:
    explicit StationWindow(QWidget* parent = nullptr);

    StationSettingsBox* settingsBox() const { return settings_; }
    StationTotalsBar* totalsBar() const { return totals_; }
    StationTileGrid* grid() const { return grid_; }
    StationLogView* logView() const { return log_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* unlockButton() const { return unlock_; }
    QPushButton* stationLogButton() const { return stationLog_; }
    // The report of the station's results in the browser (hidden where there is none).
    QPushButton* reportButton() const { return report_; }
    QPushButton* closeButton() const { return close_; }

    // Returns whether the window may close now.
    void setCloseCheck(std::function<bool()> check) { closeCheck_ = std::move(check); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    StationSettingsBox* settings_;
    StationTotalsBar* totals_;
    QScrollArea* scroll_;
    StationTileGrid* grid_;
    StationLogView* log_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* unlock_;
    QPushButton* stationLog_;
    QPushButton* report_;
    QPushButton* close_;
    std::function<bool()> closeCheck_;
};

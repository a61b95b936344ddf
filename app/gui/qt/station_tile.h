// One port of the station window: port and device, the state in words, a progress bar while a
// handset is flashed, the pass and fail counts, all over a large colour (grey waiting, amber
// running, green PASS, red FAIL). It repaints only when what it shows changed.
#pragma once

#include "app/gui/station_records.h"

#include <QWidget>

class StationTile : public QWidget {
    Q_OBJECT

  public:
    explicit StationTile(QWidget* parent = nullptr);

    void setLook(const StationTileLook& look);
    const StationTileLook& look() const { return look_; }
    static QColor lightColour(int light);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    StationTileLook look_;
};

// One port of the station window: port and device, the unit, the state in words, a progress bar
// while a handset is flashed, the pass and fail counts, all over a large colour (grey waiting,
// amber running, green PASS, red FAIL), and a field at its foot for the unit's scan. It repaints
// only when what it shows changed.
#pragma once

#include "app/gui/station_records.h"

#include <QWidget>

class QLineEdit;

class StationTile : public QWidget {
    Q_OBJECT

  public:
    explicit StationTile(QWidget* parent = nullptr);

    void setLook(const StationTileLook& look);
    const StationTileLook& look() const { return look_; }
    static QColor lightColour(int light);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The field a barcode scanner types the unit's label into (then Enter).
    QLineEdit* scanField() const { return scan_; }

  signals:
    void clicked();
    // A label was scanned or typed into the scan field (Enter).
    void scanned(const QString& unit);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QRect card() const { return rect().adjusted(2, 2, -2, -2); }

    StationTileLook look_;
    QLineEdit* scan_;
};

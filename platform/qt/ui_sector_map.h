// The sector map window: the identified flash as a grid of its sectors in address order, each
// coloured by how its writing went, with a bar under each sector in the colour of the image
// range it lies in. It follows the sector map of the run as it changes and keeps the last run's
// picture until the next run boots.
#pragma once

#include <QWidget>

class QTimer;

class SectorMapWidget : public QWidget {
    Q_OBJECT

  public:
    explicit SectorMapWidget(QWidget* parent = nullptr);

    // Reads the sector map again when it changed; shows the window when a flash was identified.
    void follow();
    // The sector under a point of the widget, or -1.
    int sectorAt(const QPoint& point) const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QRect cellRect(int index) const;
    int columns() const;
    // Room at the left for the address of each row's first sector.
    int labelWidth() const;

    QTimer* timer_;
    unsigned seen_ = 0;
    unsigned lastCount_ = 0;
};

// Creates the sector map window of the program (a tool window beside the main panel).
void dwl_qt_InstallSectorMap();
void dwl_qt_RemoveSectorMap();

// The sector map window: the identified flash as a grid of its sectors in address order, each
// coloured by how its writing went, with a bar under each sector in the colour of the image
// range it lies in. It follows the sector map of the run as it changes and keeps the last run's
// picture until the next run boots.
#pragma once

#include <QWidget>

#include <functional>

class QPainter;
class QPushButton;
class QTimer;

// Where a window that reflows to its width goes beside the main window's frame on a screen:
// right of it, else left of it, else below it, else at the screen's right edge. The window
// would like wantedWidth, takes no less than minWidth, and is heightFor(width) tall at a width;
// decorations is what its window frame adds. Returns the frame: its top left is where the
// window moves, its size less the decorations is the window's size. Given mainMove, where
// neither side nor below has room the main window may move sideways (*mainMove, else 0) to
// make room beside it before anything goes over it.
QRect dwl_qt_PlaceBeside(const QRect& mainFrame, const QRect& screen, int wantedWidth, int minWidth,
                         const QSize& decorations, const std::function<int(int width)>& heightFor,
                         QPoint* mainMove = nullptr);

class SectorMapWidget : public QWidget {
    Q_OBJECT

  public:
    explicit SectorMapWidget(QWidget* parent = nullptr);

    // Reads the sector map again when it changed; shows the window when a flash was identified.
    void follow();
    // The sector under a point of the widget, or -1.
    int sectorAt(const QPoint& point) const;
    QSize sizeHint() const override;
    // Height that shows every sector at a width.
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }
    // Opens beside the program's main window, not over it.
    void placeBesideMainWindow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QRect cellRect(int index) const;
    int columnsAt(int width) const;
    int columns() const { return columnsAt(width()); }
    // Room at the left for the address of each row's first sector.
    int labelWidth() const;
    int rowsAt(int width) const;
    // Where the legend begins under that many rows of sectors.
    int legendTop(int rows) const;
    // Draws the legend (painter nullptr: only measures it) at a width; returns its bottom.
    int drawLegend(QPainter* painter, int width, int top) const;

    QTimer* timer_;
    // Its own close: without a window manager the window has no frame to close it by.
    QPushButton* close_;
    unsigned seen_ = 0;
    unsigned lastCount_ = 0;
};

// Creates the sector map window of the program (a tool window beside the main panel).
void dwl_qt_InstallSectorMap();
void dwl_qt_RemoveSectorMap();
// The program's sector map window (nullptr when none is installed).
SectorMapWidget* dwl_qt_SectorMap();
// Shows it again (beside the main window) after the operator closed it; from the menu.
void dwl_qt_ShowSectorMap();

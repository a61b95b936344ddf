// The tiles of the station window, laid out in as many columns as give them the most room: 32
// ports fill a full-HD screen without scrolling, four ports get four large tiles. Below the
// tiles' least size it grows taller than its room, for a scroll area to scroll.
#pragma once

#include <QWidget>

#include <vector>

class StationTile;

class StationTileGrid : public QWidget {
    Q_OBJECT

  public:
    explicit StationTileGrid(QWidget* parent = nullptr);

    // Makes count tiles (new ones blank, spare ones deleted).
    void setCount(int count);
    int count() const { return static_cast<int>(tiles_.size()); }
    StationTile* tile(int index) const { return tiles_[index]; }
    // Columns for count tiles in a width and height.
    static int columnsFor(int count, int width, int height);
    // Lays the tiles out for the height the grid is shown in.
    void fitTo(int width, int height);

  signals:
    void tileClicked(int index);
    // A unit's label scanned into a tile's field.
    void tileScanned(int index, const QString& unit);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void place();

    std::vector<StationTile*> tiles_;
    int visibleHeight_ = 0;
};

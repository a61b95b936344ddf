#include "app/gui/qt/station_tile_grid.h"

#include "app/gui/qt/station_tile.h"
#include "app/gui/station_run.h"

#include <algorithm>

StationTileGrid::StationTileGrid(QWidget* parent) : QWidget(parent) {}

void StationTileGrid::setCount(int count) {
    while (static_cast<int>(tiles_.size()) > count) {
        delete tiles_.back();
        tiles_.pop_back();
    }
    while (static_cast<int>(tiles_.size()) < count) {
        auto* tile = new StationTile(this);
        const int index = static_cast<int>(tiles_.size());
        tile->setObjectName(QStringLiteral("stationTile%1").arg(index));
        connect(tile, &StationTile::clicked, this, [this, index] { emit tileClicked(index); });
        connect(tile, &StationTile::scanned, this,
                [this, index](const QString& unit) { emit tileScanned(index, unit); });
        tiles_.push_back(tile);
        tile->show();
    }
    fitTo(width(), visibleHeight_ > 0 ? visibleHeight_ : height());
}

int StationTileGrid::columnsFor(int count, int width, int height) {
    return stationrun_ColumnsFor(count, width, height);
}

void StationTileGrid::fitTo(int width, int height) {
    visibleHeight_ = height;
    const int count = static_cast<int>(tiles_.size());
    const int columns = columnsFor(count, width, height);
    const int rows = count == 0 ? 0 : (count + columns - 1) / columns;
    setMinimumHeight(rows * kStationTileMinHeight);
    place();
}

void StationTileGrid::resizeEvent(QResizeEvent*) {
    place();
}

void StationTileGrid::place() {
    const int count = static_cast<int>(tiles_.size());
    if (count == 0) return;
    // The columns are chosen for the room in view; the grid is taller only when it scrolls.
    const int columns = columnsFor(count, width(), visibleHeight_ > 0 ? visibleHeight_ : height());
    const int rows = (count + columns - 1) / columns;
    const int w = width() / columns;
    const int h = std::max(this->height() / rows, kStationTileMinHeight);
    for (int i = 0; i < count; i++)
        tiles_[i]->setGeometry((i % columns) * w, (i / columns) * h, w, h);
}

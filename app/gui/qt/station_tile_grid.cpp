#include "app/gui/qt/station_tile_grid.h"

#include "app/gui/qt/station_tile.h"

#include <algorithm>

namespace {

// The tiles' least size and the shape they are given room in.
constexpr int kMinWidth = 200;
constexpr int kMinHeight = 150;
constexpr double kShape = 4.0 / 3.0; // width over height

} // namespace

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
    if (count <= 0) return 1;
    int best = 1;
    double bestScale = -1;
    for (int columns = 1; columns <= count; columns++) {
        const int rows = (count + columns - 1) / columns;
        const double w = static_cast<double>(width) / columns;
        const double h = static_cast<double>(height) / rows;
        if (w < kMinWidth) break;
        // How large a tile of the chosen shape can be in its cell.
        const double scale = std::min(w / kShape, h);
        if (scale > bestScale) {
            bestScale = scale;
            best = columns;
        }
    }
    return best;
}

void StationTileGrid::fitTo(int width, int height) {
    visibleHeight_ = height;
    const int count = static_cast<int>(tiles_.size());
    const int columns = columnsFor(count, width, height);
    const int rows = count == 0 ? 0 : (count + columns - 1) / columns;
    setMinimumHeight(rows * kMinHeight);
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
    const int h = std::max(this->height() / rows, kMinHeight);
    for (int i = 0; i < count; i++)
        tiles_[i]->setGeometry((i % columns) * w, (i / columns) * h, w, h);
}

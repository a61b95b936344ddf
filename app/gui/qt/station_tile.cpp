#include "app/gui/qt/station_tile.h"

#include "app/gui/station_run.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

QFont sized(const QFont& base, int pixels, bool bold) {
    QFont font = base;
    font.setPixelSize(std::max(pixels, 9));
    font.setBold(bold);
    return font;
}

// The largest font up to pixels (and not below least) that fits text into width.
QFont fitted(const QFont& base, int pixels, int least, const QString& text, int width) {
    QFont font = sized(base, pixels, true);
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    if (advance > width && advance > 0)
        font.setPixelSize(std::max(least, std::max(pixels * width / advance, 9)));
    return font;
}

} // namespace

StationTile::StationTile(QWidget* parent) : QWidget(parent), scan_(new QLineEdit(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    scan_->setObjectName(QStringLiteral("scanField"));
    scan_->setPlaceholderText(tr("Scan the unit"));
    scan_->setCursor(Qt::IBeamCursor);
    // A scanner types the label and presses Enter: the label goes, the field is ready for the
    // next.
    connect(scan_, &QLineEdit::returnPressed, this, [this] {
        const QString unit = scan_->text();
        scan_->clear();
        emit scanned(unit);
    });
}

void StationTile::resizeEvent(QResizeEvent*) {
    const QRect c = card();
    const int pad = std::max(4, c.height() / 20);
    const int height = scan_->sizeHint().height();
    scan_->setGeometry(c.left() + pad, c.bottom() - pad / 2 - height, c.width() - 2 * pad, height);
}

QColor StationTile::lightColour(int light) {
    switch (light) {
    case LIGHT_RUNNING: return QColor(240, 165, 30);
    case LIGHT_PASS: return QColor(40, 160, 70);
    case LIGHT_FAIL: return QColor(210, 45, 45);
    case LIGHT_LOST: return QColor(80, 90, 102);
    case LIGHT_WAITING: return QColor(200, 200, 200);
    default: return QColor(225, 225, 225);
    }
}

void StationTile::setLook(const StationTileLook& look) {
    if (look == look_) return;
    look_ = look;
    setToolTip(QString::fromStdString(look.port + "  " + look.device + "\n" + look.state +
                                      (look.detail.empty() ? "" : "\n" + look.detail) +
                                      (look.unit.empty() ? "" : "\nunit " + look.unit)));
    update();
}

QSize StationTile::sizeHint() const {
    return QSize(240, 180);
}

QSize StationTile::minimumSizeHint() const {
    return QSize(kStationTileMinWidth, kStationTileMinHeight);
}

void StationTile::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void StationTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor back = lightColour(look_.light);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QRect card = this->card();
    painter.fillRect(card, back);
    const bool dark =
        look_.light == LIGHT_PASS || look_.light == LIGHT_FAIL || look_.light == LIGHT_LOST;
    const QColor ink = dark ? QColor(Qt::white) : QColor(20, 20, 20);
    painter.setPen(ink);

    // Every size follows the tile's height, so that a few large tiles read from afar.
    const int h = card.height();
    const int pad = std::max(4, h / 20);
    // The scan field has the foot of the card.
    QRect area = card.adjusted(pad, pad / 2, -pad, -pad - scan_->height());
    const int nameSize = h / 8;
    const int stateSize = h / 7;
    const int smallSize = std::max(h / 15, 11);

    const QString port = QString::fromStdString(look_.port);
    painter.setFont(fitted(font(), nameSize, smallSize, port, area.width()));
    const int nameHeight = painter.fontMetrics().height();
    painter.drawText(QRect(area.left(), area.top(), area.width(), nameHeight),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(port, Qt::ElideMiddle, area.width()));
    area.setTop(area.top() + nameHeight);

    painter.setFont(sized(font(), smallSize, false));
    const QFontMetrics small = painter.fontMetrics();
    if (look_.device != look_.port) {
        painter.drawText(
            QRect(area.left(), area.top(), area.width(), small.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            small.elidedText(QString::fromStdString(look_.device), Qt::ElideMiddle, area.width()));
    }
    area.setTop(area.top() + small.height() + pad / 2);
    // The unit of the run, or of the next handset.
    if (!look_.unit.empty()) {
        painter.setFont(sized(font(), smallSize, true));
        const QString unit = tr("Unit %1").arg(QString::fromStdString(look_.unit));
        painter.drawText(QRect(area.left(), area.top(), area.width(), small.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(unit, Qt::ElideMiddle, area.width()));
        painter.setFont(sized(font(), smallSize, false));
        area.setTop(area.top() + small.height());
    }

    // Bottom up: the counts, the note, the progress bar.
    const QRect counts(area.left(), area.bottom() - small.height(), area.width(), small.height());
    const QString countText = QString::fromStdString(stationrun_CountsText(look_));
    painter.drawText(counts, Qt::AlignLeft | Qt::AlignVCenter,
                     small.elidedText(countText, Qt::ElideRight, area.width()));
    area.setBottom(counts.top() - 1);
    if (!look_.note.empty()) {
        const QRect note(area.left(), area.bottom() - small.height(), area.width(), small.height());
        painter.drawText(
            note, Qt::AlignLeft | Qt::AlignVCenter,
            small.elidedText(QString::fromStdString(look_.note), Qt::ElideRight, area.width()));
        area.setBottom(note.top() - 1);
    }
    if (look_.percent >= 0) {
        const int barHeight = std::max(8, h / 14);
        const QRect bar(area.left(), area.bottom() - barHeight, area.width(), barHeight);
        painter.fillRect(bar, QColor(255, 255, 255, 170));
        painter.fillRect(
            QRect(bar.left(), bar.top(), bar.width() * look_.percent / 100, bar.height()),
            QColor(30, 30, 30, 200));
        area.setBottom(bar.top() - pad / 2);
    }

    const QString state = QString::fromStdString(look_.state);
    painter.setFont(fitted(font(), stateSize, smallSize, state, area.width()));
    const int stateHeight = painter.fontMetrics().height();
    painter.drawText(QRect(area.left(), area.top(), area.width(), stateHeight),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(state, Qt::ElideRight, area.width()));
    area.setTop(area.top() + stateHeight);
    if (!look_.detail.empty() && area.height() > small.height() / 2) {
        painter.setFont(sized(font(), smallSize, false));
        // The reason of a failure wraps over the room left; what does not fit is in the log.
        painter.setClipRect(area);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         QString::fromStdString(look_.detail));
        painter.setClipping(false);
    }
}

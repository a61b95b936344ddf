#include "platform/qt/ui_sector_map.h"

#include "flash/dwl10sectormap.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kCell = 14;
constexpr int kGap = 2;
constexpr int kRangeBar = 3;
constexpr int kMargin = 8;
constexpr int kLegendHeight = 40;
constexpr int kMaxColumns = 32;
constexpr int kFollowMsecs = 100;

QColor stateColour(uint8_t state) {
    switch (state) {
    case SECTOR_WRITING: return QColor(255, 210, 0);
    case SECTOR_WRITTEN: return QColor(40, 170, 60);
    case SECTOR_RESENT: return QColor(0, 150, 220);
    case SECTOR_FAILED: return QColor(220, 40, 40);
    case SECTOR_CANCELLED: return QColor(140, 140, 140);
    default: return QColor(225, 225, 225);
    }
}

QColor imageColour(uint8_t image) {
    switch (image) {
    case SECTOR_BINARY: return QColor(60, 60, 60);
    case SECTOR_OGM: return QColor(150, 60, 170);
    case SECTOR_TFS: return QColor(230, 130, 20);
    default: return QColor(0, 0, 0, 0);
    }
}

const char* imageName(uint8_t image) {
    switch (image) {
    case SECTOR_BINARY: return "binary";
    case SECTOR_OGM: return "ogm";
    case SECTOR_TFS: return "TFS";
    default: return "no image";
    }
}

SectorMapWidget* g_window = nullptr;

} // namespace

SectorMapWidget::SectorMapWidget(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setWindowTitle(tr("Sector map"));
    setObjectName(QStringLiteral("sectorMap"));
    setMouseTracking(true);
    connect(timer_, &QTimer::timeout, this, &SectorMapWidget::follow);
    timer_->start(kFollowMsecs);
}

void SectorMapWidget::follow() {
    if (sg_SectorMap.Changes == seen_) return;
    seen_ = sg_SectorMap.Changes;
    // A new run identified its flash: the window comes up, even if the operator closed it.
    if (sg_SectorMap.NbSectors > 0 && lastCount_ == 0 && !isVisible()) {
        resize(sizeHint());
        show();
    }
    lastCount_ = sg_SectorMap.NbSectors;
    updateGeometry();
    update();
}

int SectorMapWidget::labelWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("0x00000000")) + 8;
}

int SectorMapWidget::columns() const {
    const int room = std::max(1, (width() - 2 * kMargin - labelWidth() + kGap) / (kCell + kGap));
    return std::clamp(room, 1, kMaxColumns * 2);
}

QSize SectorMapWidget::sizeHint() const {
    const int count = static_cast<int>(std::max<uint32_t>(sg_SectorMap.NbSectors, 1));
    const int cols = std::min(count, kMaxColumns);
    const int rows = (count + cols - 1) / cols;
    return QSize(2 * kMargin + labelWidth() + cols * (kCell + kGap),
                 2 * kMargin + rows * (kCell + kRangeBar + 2 * kGap) + kLegendHeight);
}

QRect SectorMapWidget::cellRect(int index) const {
    const int cols = columns();
    const int row = index / cols;
    const int col = index % cols;
    return QRect(kMargin + labelWidth() + col * (kCell + kGap),
                 kMargin + row * (kCell + kRangeBar + 2 * kGap), kCell, kCell);
}

int SectorMapWidget::sectorAt(const QPoint& point) const {
    for (uint32_t i = 0; i < sg_SectorMap.NbSectors; ++i) {
        const QRect cell = cellRect(static_cast<int>(i));
        if (cell.adjusted(0, 0, 0, kRangeBar + kGap).contains(point)) return static_cast<int>(i);
    }
    return -1;
}

void SectorMapWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const uint32_t count = sg_SectorMap.NbSectors;
    if (count == 0) {
        painter.drawText(rect(), Qt::AlignCenter, tr("No flash identified yet"));
        return;
    }
    int bottom = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const SectorRecord& s = sg_SectorMap.Sector[i];
        const QRect cell = cellRect(static_cast<int>(i));
        if (cell.left() == kMargin + labelWidth()) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(QRect(kMargin, cell.top() - 2, labelWidth() - 8, kCell + 4),
                             Qt::AlignRight | Qt::AlignVCenter,
                             QStringLiteral("0x%1").arg(s.Address, 8, 16, QLatin1Char('0')));
        }
        painter.fillRect(cell, stateColour(s.State));
        painter.setPen(QColor(120, 120, 120));
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        if (s.Image != SECTOR_NO_IMAGE)
            painter.fillRect(QRect(cell.left(), cell.bottom() + 2, kCell, kRangeBar),
                             imageColour(s.Image));
        bottom = std::max(bottom, cell.bottom() + kRangeBar + 2);
    }
    // Legend: the states, then the ranges.
    const uint8_t states[] = {SECTOR_UNTOUCHED, SECTOR_WRITING, SECTOR_WRITTEN,
                              SECTOR_RESENT,    SECTOR_FAILED,  SECTOR_CANCELLED};
    int x = kMargin;
    int y = bottom + kMargin;
    const QFontMetrics metrics(font());
    painter.setPen(palette().color(QPalette::WindowText));
    for (uint8_t state : states) {
        painter.fillRect(QRect(x, y, kCell, kCell), stateColour(state));
        const QString name = QString::fromLatin1(dwl10_87SectorStateName(state));
        painter.drawText(x + kCell + 4, y + kCell - 3, name);
        x += kCell + 12 + metrics.horizontalAdvance(name);
    }
    x = kMargin;
    y += kCell + 4;
    const uint8_t images[] = {SECTOR_BINARY, SECTOR_OGM, SECTOR_TFS};
    for (uint8_t image : images) {
        painter.fillRect(QRect(x, y + kCell / 2, kCell, kRangeBar), imageColour(image));
        const QString name = QString::fromLatin1(imageName(image));
        painter.drawText(x + kCell + 4, y + kCell - 3, name);
        x += kCell + 12 + metrics.horizontalAdvance(name);
    }
}

bool SectorMapWidget::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int index = sectorAt(help->pos());
        if (index < 0) {
            QToolTip::hideText();
            return true;
        }
        const SectorRecord& s = sg_SectorMap.Sector[index];
        QToolTip::showText(help->globalPos(),
                           tr("sector %1 at 0x%2, %3 bytes, %4\n%5: %6 bytes sent, %7 tries")
                               .arg(index)
                               .arg(s.Address, 8, 16, QLatin1Char('0'))
                               .arg(s.Size)
                               .arg(QString::fromLatin1(imageName(s.Image)))
                               .arg(QString::fromLatin1(dwl10_87SectorStateName(s.State)))
                               .arg(s.BytesSent)
                               .arg(s.Tries),
                           this);
        return true;
    }
    return QWidget::event(e);
}

void dwl_qt_InstallSectorMap() {
    if (g_window != nullptr) return;
    g_window = new SectorMapWidget();
    g_window->setWindowFlag(Qt::Tool);
}

void dwl_qt_RemoveSectorMap() {
    delete g_window;
    g_window = nullptr;
}

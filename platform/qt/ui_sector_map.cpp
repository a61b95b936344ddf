#include "platform/qt/ui_sector_map.h"

#include "flash/dwl10sectormap.h"
#include "platform/qt/ui_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int kCell = 14;
constexpr int kGap = 2;
constexpr int kRangeBar = 3;
constexpr int kMargin = 8;
constexpr int kMaxColumns = 32;
constexpr int kFollowMsecs = 100;
// The narrowest the map is made to fit beside the main window, in columns of sectors.
constexpr int kMinColumns = 8;
// Between the main window's frame and the map's.
constexpr int kBesideGap = 8;

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

QRect dwl_qt_PlaceBeside(const QRect& mainFrame, const QRect& screen, int wantedWidth, int minWidth,
                         const QSize& decorations, const std::function<int(int width)>& heightFor,
                         QPoint* mainMove) {
    if (mainMove != nullptr) *mainMove = QPoint();
    const int decoW = decorations.width();
    const int decoH = decorations.height();
    // A frame of a width that fits `room`, its height cut to the screen.
    auto frameOf = [&](int room) {
        const int width = std::max(1, std::min(wantedWidth, room - decoW));
        const int height = std::min(heightFor(width), screen.height() - decoH);
        return QSize(width + decoW, height + decoH);
    };
    auto topFor = [&](int height) {
        return std::clamp(mainFrame.top(), screen.top(), screen.bottom() + 1 - height);
    };
    const int rightRoom = screen.right() - mainFrame.right() - kBesideGap;
    if (rightRoom - decoW >= minWidth) {
        const QSize size = frameOf(rightRoom);
        return QRect(QPoint(mainFrame.right() + 1 + kBesideGap, topFor(size.height())), size);
    }
    const int leftRoom = mainFrame.left() - screen.left() - kBesideGap;
    if (leftRoom - decoW >= minWidth) {
        const QSize size = frameOf(leftRoom);
        return QRect(QPoint(mainFrame.left() - kBesideGap - size.width(), topFor(size.height())),
                     size);
    }
    const QSize wide = frameOf(screen.width());
    const int belowRoom = screen.bottom() - mainFrame.bottom() - kBesideGap;
    if (wide.height() <= belowRoom) {
        const int left =
            std::clamp(mainFrame.left(), screen.left(), screen.right() + 1 - wide.width());
        return QRect(QPoint(left, mainFrame.bottom() + 1 + kBesideGap), wide);
    }
    if (mainMove != nullptr) {
        // The main window moves towards the screen's left edge, as little as it must, to make
        // room at its right: then nothing of it is covered. (Either side has the same room
        // once the main window is at the other edge.)
        const int canLeft = mainFrame.left() - screen.left();
        if (rightRoom + canLeft - decoW >= minWidth) {
            *mainMove = QPoint(-std::min(canLeft, wantedWidth + decoW - rightRoom), 0);
            return dwl_qt_PlaceBeside(mainFrame.translated(*mainMove), screen, wantedWidth,
                                      minWidth, decorations, heightFor, nullptr);
        }
    }
    // No room beside it: over the main window's right part, where its log and lights are not.
    return QRect(QPoint(screen.right() + 1 - wide.width(), topFor(wide.height())), wide);
}

SectorMapWidget::SectorMapWidget(QWidget* parent)
    : QWidget(parent), timer_(new QTimer(this)), close_(new QPushButton(tr("Close"), this)) {
    setWindowTitle(tr("Sector map"));
    setObjectName(QStringLiteral("sectorMap"));
    setMouseTracking(true);
    close_->setObjectName(QStringLiteral("sectorMapClose"));
    close_->adjustSize();
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    connect(timer_, &QTimer::timeout, this, &SectorMapWidget::follow);
    timer_->start(kFollowMsecs);
}

void SectorMapWidget::placeBesideMainWindow() {
    QtUiView* view = QtUiView::active();
    QWidget* main = view != nullptr ? view->mainWindow() : nullptr;
    if (main == nullptr || main->screen() == nullptr) {
        resize(sizeHint());
        return;
    }
    // Its frame will look like the main window's.
    const QSize decorations = main->frameGeometry().size() - main->size();
    const int minWidth = 2 * kMargin + labelWidth() + kMinColumns * (kCell + kGap);
    QPoint mainMove;
    const QRect frame = dwl_qt_PlaceBeside(
        main->frameGeometry(), main->screen()->availableGeometry(), sizeHint().width(), minWidth,
        decorations, [this](int width) { return heightForWidth(width); }, &mainMove);
    if (!mainMove.isNull()) main->move(main->pos() + mainMove);
    move(frame.topLeft());
    resize(frame.size() - decorations);
}

void SectorMapWidget::follow() {
    if (sg_SectorMap.Changes == seen_) return;
    seen_ = sg_SectorMap.Changes;
    // A new run identified its flash: the window comes up, even if the operator closed it.
    if (sg_SectorMap.NbSectors > 0 && lastCount_ == 0 && !isVisible()) {
        placeBesideMainWindow();
        show();
    }
    lastCount_ = sg_SectorMap.NbSectors;
    updateGeometry();
    update();
}

int SectorMapWidget::labelWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("0x00000000")) + 8;
}

int SectorMapWidget::columnsAt(int width) const {
    const int room = std::max(1, (width - 2 * kMargin - labelWidth() + kGap) / (kCell + kGap));
    return std::clamp(room, 1, kMaxColumns * 2);
}

int SectorMapWidget::rowsAt(int width) const {
    const int count = static_cast<int>(std::max<uint32_t>(sg_SectorMap.NbSectors, 1));
    const int cols = std::min(count, columnsAt(width));
    return (count + cols - 1) / cols;
}

int SectorMapWidget::legendTop(int rows) const {
    return kMargin + rows * (kCell + kRangeBar + 2 * kGap) + kMargin;
}

int SectorMapWidget::heightForWidth(int width) const {
    return drawLegend(nullptr, width, legendTop(rowsAt(width))) + kMargin + close_->height() +
           kMargin;
}

QSize SectorMapWidget::sizeHint() const {
    const int count = static_cast<int>(std::max<uint32_t>(sg_SectorMap.NbSectors, 1));
    const int cols = std::min(count, kMaxColumns);
    const int width =
        std::max(2 * kMargin + labelWidth() + cols * (kCell + kGap), 2 * kMargin + close_->width());
    return QSize(width, heightForWidth(width));
}

void SectorMapWidget::resizeEvent(QResizeEvent* event) {
    close_->move(width() - kMargin - close_->width(), height() - kMargin - close_->height());
    QWidget::resizeEvent(event);
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
    }
    drawLegend(&painter, width(), legendTop(rowsAt(width())));
}

int SectorMapWidget::drawLegend(QPainter* painter, int width, int top) const {
    const QFontMetrics metrics(font());
    int x = kMargin;
    int y = top;
    // An entry that would pass the right edge starts a new line: a narrow map keeps its legend.
    auto entry = [&](const QColor& colour, bool bar, const char* text) {
        const QString name = QString::fromLatin1(text);
        const int entryWidth = kCell + 4 + metrics.horizontalAdvance(name);
        if (x > kMargin && x + entryWidth > width - kMargin) {
            x = kMargin;
            y += kCell + 4;
        }
        if (painter != nullptr) {
            const QRect mark =
                bar ? QRect(x, y + kCell / 2, kCell, kRangeBar) : QRect(x, y, kCell, kCell);
            painter->fillRect(mark, colour);
            painter->setPen(palette().color(QPalette::WindowText));
            painter->drawText(x + kCell + 4, y + kCell - 3, name);
        }
        x += entryWidth + 8;
    };
    // The states, then the ranges on a line of their own.
    for (uint8_t state : {SECTOR_UNTOUCHED, SECTOR_WRITING, SECTOR_WRITTEN, SECTOR_RESENT,
                          SECTOR_FAILED, SECTOR_CANCELLED})
        entry(stateColour(state), false, dwl10_87SectorStateName(state));
    x = kMargin;
    y += kCell + 4;
    for (uint8_t image : {SECTOR_BINARY, SECTOR_OGM, SECTOR_TFS})
        entry(imageColour(image), true, imageName(image));
    return y + kCell;
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
                           tr("sector %1 at 0x%2, %3 bytes, %4\n%5: %6 bytes sent, %7 %8")
                               .arg(index)
                               .arg(s.Address, 8, 16, QLatin1Char('0'))
                               .arg(s.Size)
                               .arg(QString::fromLatin1(imageName(s.Image)))
                               .arg(QString::fromLatin1(dwl10_87SectorStateName(s.State)))
                               .arg(s.BytesSent)
                               .arg(s.Tries)
                               .arg(QString::fromLatin1(dwl10_88TriesWord(s.Tries))),
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

SectorMapWidget* dwl_qt_SectorMap() {
    return g_window;
}

void dwl_qt_ShowSectorMap() {
    if (g_window == nullptr) return;
    if (!g_window->isVisible()) g_window->placeBesideMainWindow();
    g_window->show();
    g_window->raise();
}

void dwl_qt_RemoveSectorMap() {
    delete g_window;
    g_window = nullptr;
}

#include "app/gui/qt/station_window.h"

#include "app/gui/qt/station_log_view.h"
#include "app/gui/qt/station_settings_box.h"
#include "app/gui/qt/station_tile_grid.h"
#include "app/gui/qt/station_totals_bar.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

StationWindow::StationWindow(QWidget* parent)
    : QWidget(parent), settings_(new StationSettingsBox(this)), totals_(new StationTotalsBar(this)),
      scroll_(new QScrollArea(this)), grid_(new StationTileGrid()), log_(new StationLogView(this)),
      start_(new QPushButton(tr("Start"), this)), stop_(new QPushButton(tr("Stop"), this)),
      unlock_(new QPushButton(tr("Unlock settings"), this)),
      stationLog_(new QPushButton(tr("Station log"), this)),
      report_(new QPushButton(tr("Open report"), this)),
      close_(new QPushButton(tr("Close"), this)) {
    setObjectName(QStringLiteral("stationWindow"));
    setWindowTitle(tr("Production station"));
    start_->setObjectName(QStringLiteral("stationStart"));
    stop_->setObjectName(QStringLiteral("stationStop"));
    unlock_->setObjectName(QStringLiteral("stationUnlock"));
    stationLog_->setObjectName(QStringLiteral("stationLogButton"));
    report_->setObjectName(QStringLiteral("stationReport"));

    auto* buttons = new QVBoxLayout();
    for (QPushButton* button : {start_, stop_, unlock_, stationLog_, report_}) {
        button->setMinimumWidth(160);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    // Its own close, as the frame's (it asks while production runs): without a window manager
    // the window has no frame to close it by.
    close_->setObjectName(QStringLiteral("stationClose"));
    close_->setMinimumWidth(160);
    buttons->addWidget(close_);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    QFont big = start_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    start_->setFont(big);
    stop_->setFont(big);

    auto* top = new QHBoxLayout();
    top->addWidget(settings_, 5);
    top->addWidget(totals_, 3);
    top->addLayout(buttons);

    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidget(grid_);
    scroll_->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top);
    layout->addWidget(scroll_, 1);
    resize(1280, 800);
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
        grid_->fitTo(scroll_->viewport()->width(), scroll_->viewport()->height());
    return QWidget::eventFilter(watched, event);
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (closeCheck_ && !closeCheck_()) {
        event->ignore();
        return;
    }
    log_->hide();
    event->accept();
}

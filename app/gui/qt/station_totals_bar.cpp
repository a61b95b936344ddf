#include "app/gui/qt/station_totals_bar.h"

#include "app/gui/station_run.h"

#include <QLabel>
#include <QVBoxLayout>

StationTotalsBar::StationTotalsBar(QWidget* parent)
    : QFrame(parent), figures_(new QLabel(this)), times_(new QLabel(this)),
      status_(new QLabel(this)), results_(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setObjectName(QStringLiteral("stationTotals"));
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    figures_->setFont(big);
    QFont medium = font();
    medium.setPointSizeF(medium.pointSizeF() * 1.4);
    times_->setFont(medium);
    status_->setWordWrap(true);
    results_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long path or server error wraps, and never widens the window past the screen.
    for (QLabel* label : {status_, results_}) {
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(figures_);
    layout->addWidget(times_);
    layout->addWidget(status_);
    layout->addWidget(results_);
    layout->addStretch(1);
    totals_.pass = -1; // so that the first call shows the figures
    setTotals(StationTotalsLook());
}

void StationTotalsBar::setTotals(const StationTotalsLook& t) {
    if (t == totals_) return;
    totals_ = t;
    figures_->setText(QString::fromStdString(stationrun_FiguresText(t)));
    times_->setText(QString::fromStdString(stationrun_TimesText(t)));
}

void StationTotalsBar::setStatus(const QString& status) {
    if (status_->text() != status) status_->setText(status);
}

void StationTotalsBar::setResults(const QString& file, const QString& server) {
    const QString text =
        QString::fromStdString(stationrun_ResultsText(file.toStdString(), server.toStdString()));
    if (results_->text() != text) results_->setText(text);
}

QString StationTotalsBar::figuresText() const {
    return figures_->text() + QStringLiteral("   ") + times_->text();
}

QString StationTotalsBar::statusText() const {
    return status_->text();
}

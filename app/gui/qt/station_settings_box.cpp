#include "app/gui/qt/station_settings_box.h"

#include "app/gui/station_run.h"
#include "link/dwl12pclib.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

StationSettingsBox::StationSettingsBox(QWidget* parent)
    : QGroupBox(tr("Settings"), parent), ports_(new QLineEdit(this)), mode_(new QComboBox(this)),
      speed_(new QComboBox(this)), results_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("stationSettings"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Ports"), this), 0, 0);
    ports_->setObjectName(QStringLiteral("stationPorts"));
    ports_->setPlaceholderText(tr("COM numbers or devices, separated by blanks"));
    grid->addWidget(ports_, 0, 1, 1, 2);
    // Each image takes two rows: its path, and its size and byte sum under it, so that the
    // path keeps the box's width on a small screen.
    bin_ = addImageRow(1, tr("Binary"), tr("Binary images (*.bin)"));
    ogm_ = addImageRow(3, tr("ogm"), tr("ogm images (*.ogm)"));
    tfs_ = addImageRow(5, tr("TFS"), tr("TFS images (*.tfs)"));

    auto* choices = new QHBoxLayout();
    choices->addWidget(new QLabel(tr("Mode"), this));
    mode_->setObjectName(QStringLiteral("stationMode"));
    choices->addWidget(mode_, 1);
    choices->addWidget(new QLabel(tr("Speed"), this));
    speed_->setObjectName(QStringLiteral("stationSpeed"));
    speed_->addItem(tr("default"), 0);
    for (long baud : a_PCSpeedValue)
        speed_->addItem(tr("%1 baud").arg(baud), static_cast<qlonglong>(baud));
    choices->addWidget(speed_, 1);
    grid->addLayout(choices, 7, 0, 1, 3);
    // Where the runs are recorded: a file, or the line's results server.
    grid->addWidget(new QLabel(tr("Results"), this), 8, 0);
    results_->setObjectName(QStringLiteral("stationResults"));
    results_->setPlaceholderText(
        tr("results.sqlite in the working folder; a file, or postgresql://USER@HOST/DB"));
    grid->addWidget(results_, 8, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    setModeNames({});
    connect(ports_, &QLineEdit::editingFinished, this, &StationSettingsBox::changed);
    connect(mode_, &QComboBox::activated, this, &StationSettingsBox::changed);
    connect(speed_, &QComboBox::activated, this, &StationSettingsBox::changed);
    connect(results_, &QLineEdit::editingFinished, this, &StationSettingsBox::changed);
}

StationSettingsBox::ImageRow StationSettingsBox::addImageRow(int row, const QString& title,
                                                             const QString& filter) {
    auto* grid = static_cast<QGridLayout*>(layout());
    ImageRow r{new QLineEdit(this), new QPushButton(tr("..."), this), new QLabel(this)};
    grid->addWidget(new QLabel(title, this), row, 0);
    grid->addWidget(r.path, row, 1);
    r.browse->setMaximumWidth(r.browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) +
                              16);
    grid->addWidget(r.browse, row, 2);
    grid->addWidget(r.summary, row + 1, 1, 1, 2);
    grid->setVerticalSpacing(4);
    r.summary->setTextFormat(Qt::PlainText);
    // A long name or reason never widens the box.
    r.summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    r.summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(r.path, &QLineEdit::editingFinished, this, &StationSettingsBox::changed);
    QLineEdit* path = r.path;
    connect(r.browse, &QPushButton::clicked, this, [this, path, title, filter] {
        const QString chosen =
            QFileDialog::getOpenFileName(this, title, path->text(), filter + tr(";;All files (*)"));
        if (chosen.isEmpty()) return;
        path->setText(chosen);
        changed();
    });
    return r;
}

void StationSettingsBox::changed() {
    // A locked field that loses the focus finishes no edit.
    if (!locked_) emit edited();
}

void StationSettingsBox::setModeNames(const std::vector<std::string>& names) {
    const int mode = mode_->currentData().isValid() ? mode_->currentData().toInt() : -1;
    mode_->clear();
    mode_->addItem(tr("as the images decide"), -1);
    for (size_t i = 0; i < names.size(); i++)
        mode_->addItem(QStringLiteral("%1  %2").arg(i).arg(QString::fromStdString(names[i])),
                       static_cast<int>(i));
    mode_->setCurrentIndex(std::max(0, mode_->findData(mode)));
}

void StationSettingsBox::setSettings(const StationSettings& s) {
    base_ = s;
    QStringList ports;
    for (const std::string& port : s.ports)
        ports << QString::fromStdString(port);
    ports_->setText(ports.join(QLatin1Char(' ')));
    bin_.path->setText(QString::fromStdString(s.bin));
    ogm_.path->setText(QString::fromStdString(s.ogm));
    tfs_.path->setText(QString::fromStdString(s.tfs));
    results_->setText(QString::fromStdString(s.results));
    mode_->setCurrentIndex(std::max(0, mode_->findData(s.mode)));
    int speed = speed_->findData(static_cast<qlonglong>(s.baud));
    if (speed < 0) {
        // A rate the list lacks, as the station reported it.
        speed_->addItem(tr("%1 baud").arg(s.baud), static_cast<qlonglong>(s.baud));
        speed = speed_->count() - 1;
    }
    speed_->setCurrentIndex(speed);
}

StationSettings StationSettingsBox::settings() const {
    StationSettings s = base_;
    s.ports.clear();
    for (const QString& port : ports_->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        s.ports.push_back(port.toStdString());
    s.bin = bin_.path->text().trimmed().toStdString();
    s.ogm = ogm_.path->text().trimmed().toStdString();
    s.tfs = tfs_.path->text().trimmed().toStdString();
    s.results = results_->text().trimmed().toStdString();
    s.mode = mode_->currentData().toInt();
    s.baud = static_cast<long>(speed_->currentData().toLongLong());
    return s;
}

const StationSettingsBox::ImageRow* StationSettingsBox::rowFor(const std::string& kind) const {
    if (kind == "binary") return &bin_;
    if (kind == "ogm") return &ogm_;
    if (kind == "tfs") return &tfs_;
    return nullptr;
}

void StationSettingsBox::showImages(const std::vector<StationImage>& images) {
    for (const ImageRow* row : {&bin_, &ogm_, &tfs_})
        row->summary->clear();
    for (const StationImage& image : images) {
        const ImageRow* row = rowFor(image.kind);
        if (row == nullptr) continue;
        row->summary->setStyleSheet(image.size < 0 ? QStringLiteral("color: #c00000") : QString());
        row->summary->setText(QString::fromStdString(stationrun_ImageText(image)));
    }
}

QString StationSettingsBox::imageText(const std::string& kind) const {
    const ImageRow* row = rowFor(kind);
    return row != nullptr ? row->summary->text() : QString();
}

void StationSettingsBox::setLocked(bool locked) {
    locked_ = locked;
    setTitle(locked ? tr("Settings (locked)") : tr("Settings"));
    ports_->setReadOnly(locked);
    for (const ImageRow* row : {&bin_, &ogm_, &tfs_}) {
        row->path->setReadOnly(locked);
        row->browse->setEnabled(!locked);
    }
    results_->setReadOnly(locked);
    mode_->setEnabled(!locked);
    speed_->setEnabled(!locked);
}

#include "app/gui/qt/station_log_view.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

StationLogView::StationLogView(QWidget* parent) : QDialog(parent), text_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("stationLog"));
    setModal(false);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Its own close: without a window manager the window has no frame to close it by.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("stationLogClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(buttons);
    resize(900, 500);
}

void StationLogView::showLog(int whose, const QString& title, const QString& text) {
    setWindowTitle(title);
    if (whose == whose_ && text == text_->toPlainText()) return;
    QScrollBar* bar = text_->verticalScrollBar();
    const bool atEnd = whose != whose_ || bar->value() == bar->maximum();
    const int kept = bar->value();
    whose_ = whose;
    text_->setPlainText(text);
    bar->setValue(atEnd ? bar->maximum() : kept);
}

QString StationLogView::text() const {
    return text_->toPlainText();
}

#include "platform/qt/ui_led.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace {
const QColor kLitGreen(40, 200, 60);
const QColor kDarkGreen(30, 70, 35);
const QColor kDimmed(150, 150, 150);
} // namespace

LedWidget::LedWidget(QWidget* parent) : QWidget(parent) {}

void LedWidget::setOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    update();
}

void LedWidget::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    setToolTip(text);
    update();
}

void LedWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int diameter = std::max(6, std::min(height() - 4, 14));
    const QRectF lamp(2, (height() - diameter) / 2.0, diameter, diameter);
    QColor fill = on_ ? kLitGreen : kDarkGreen;
    if (!isEnabled()) fill = kDimmed;
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.setBrush(fill);
    painter.drawEllipse(lamp);
    if (on_ && isEnabled()) {
        // A highlight so that a lit lamp reads as lit at a glance.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 110));
        painter.drawEllipse(QRectF(lamp.x() + diameter * 0.25, lamp.y() + diameter * 0.2,
                                   diameter * 0.35, diameter * 0.3));
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textArea(diameter + 8, 0, width() - diameter - 8, height());
    painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
}

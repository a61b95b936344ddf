// An indicator light: a small round lamp followed by its text.
#pragma once

#include <QColor>
#include <QWidget>

class LedWidget : public QWidget {
    Q_OBJECT

  public:
    explicit LedWidget(QWidget* parent = nullptr);

    void setOn(bool on);
    bool isOn() const { return on_; }
    void setText(const QString& text);
    const QString& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool on_ = false;
    QString text_;
};

// The log of one port (or of the station) in a window of its own, kept up to date while it is
// open: it follows the end unless the operator scrolled back.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class StationLogView : public QDialog {
    Q_OBJECT

  public:
    explicit StationLogView(QWidget* parent = nullptr);

    // What is shown: whose log (index as the caller counts, title) and its text.
    void showLog(int whose, const QString& title, const QString& text);
    int whose() const { return whose_; }
    QString text() const;

  private:
    QPlainTextEdit* text_;
    int whose_ = -1;
};

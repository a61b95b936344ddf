// The station's totals in large figures: pass, fail, yield, median time and handsets per hour,
// with a line saying what the station does and where it records its runs.
#pragma once

#include "app/gui/station_records.h"

#include <QFrame>

class QLabel;

class StationTotalsBar : public QFrame {
    Q_OBJECT

  public:
    explicit StationTotalsBar(QWidget* parent = nullptr);

    void setTotals(const StationTotalsLook& totals);
    void setStatus(const QString& status);
    // The local file of the runs and, with a line's results server, the sender's state.
    void setResults(const QString& file, const QString& server = QString());
    // The figures as shown, for the tests: "pass 3  fail 1  yield 75.0 %  ...".
    QString figuresText() const;
    QString statusText() const;

  private:
    QLabel* figures_;
    QLabel* times_;
    QLabel* status_;
    QLabel* results_;
    StationTotalsLook totals_;
};

// The settings of a production run: the ports, the image set with each image's size and byte
// sum, the mode, the speed and where the runs are recorded. Locked, they can be read but not
// changed.
#pragma once

#include "app/gui/station_records.h"

#include <QGroupBox>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class StationSettingsBox : public QGroupBox {
    Q_OBJECT

  public:
    explicit StationSettingsBox(QWidget* parent = nullptr);

    // The names of the modes 0, 1, ... for the mode selector.
    void setModeNames(const std::vector<std::string>& names);
    void setSettings(const StationSettings& settings);
    StationSettings settings() const;
    // Size and byte sum (or the problem) beside each image named.
    void showImages(const std::vector<StationImage>& images);
    void setLocked(bool locked);
    bool locked() const { return locked_; }
    // The line beside an image kind ("binary", "ogm", "tfs"), for the tests.
    QString imageText(const std::string& kind) const;

  signals:
    // The operator changed a setting.
    void edited();

  private:
    struct ImageRow {
        QLineEdit* path;
        QPushButton* browse;
        QLabel* summary;
    };
    ImageRow addImageRow(int row, const QString& title, const QString& filter);
    const ImageRow* rowFor(const std::string& kind) const;
    void changed();

    QLineEdit* ports_;
    ImageRow bin_{}, ogm_{}, tfs_{};
    QComboBox* mode_;
    QComboBox* speed_;
    QLineEdit* results_;
    StationSettings base_; // what the box does not show passes through
    bool locked_ = false;
};

#include "platform/qt/ui_port_picker.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QVBoxLayout>

std::string dwl_qt_PortLabel(const std::string& device, const std::string& description,
                             const std::string& maker, const std::string& serialNumber) {
    std::string label = device;
    std::string about = description;
    if (!maker.empty()) about += (about.empty() ? "" : ", ") + maker;
    if (!serialNumber.empty()) about += (about.empty() ? "serial " : ", serial ") + serialNumber;
    if (!about.empty()) label += "  (" + about + ")";
    return label;
}

std::string dwl_qt_PickPort(QWidget* parent, int comPort, const std::string& current) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dwlPortPicker"));
    dialog.setWindowTitle(QStringLiteral("Port of COM%1").arg(comPort));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("Device that COM%1 opens (choose one, or type its path):").arg(comPort),
        &dialog));
    auto* devices = new QComboBox(&dialog);
    devices->setObjectName(QStringLiteral("devices"));
    devices->setEditable(true);
    devices->setInsertPolicy(QComboBox::NoInsert);
    devices->setMinimumWidth(460);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string label =
            dwl_qt_PortLabel(info.systemLocation().toStdString(), info.description().toStdString(),
                             info.manufacturer().toStdString(), info.serialNumber().toStdString());
        devices->addItem(QString::fromStdString(label), info.systemLocation());
    }
    devices->setEditText(QString::fromStdString(current));
    layout->addWidget(devices);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return {};
    // A listed device gives its path; a typed text is the path itself.
    QString chosen = devices->currentText().trimmed();
    const int listed = devices->findText(chosen);
    if (listed >= 0) chosen = devices->itemData(listed).toString();
    return QFile::encodeName(chosen).toStdString();
}

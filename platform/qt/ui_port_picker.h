// The port picker: the serial devices present on this machine (device, description, maker,
// serial number), and a field to type any other device path.
#pragma once

#include <string>

class QWidget;

// One line of the picker's list for a device.
std::string dwl_qt_PortLabel(const std::string& device, const std::string& description,
                             const std::string& maker, const std::string& serialNumber);

// Modal dialog, centred on parent, for the device behind COM number comPort, starting on
// current. Returns the chosen device path, or an empty text when the operator cancels.
std::string dwl_qt_PickPort(QWidget* parent, int comPort, const std::string& current);

// Real serial ports for the port services: COM port n opens the device that dwl_ComDevicePath(n)
// names (a USB-serial adapter, a built-in UART or a pseudo-terminal), through QSerialPort.
#pragma once

// Installs the real-port opener (rs232_SetOpener). Ports already open are closed. The ports need a
// Qt application object on the calling thread; a program without one gets a QCoreApplication at
// the first open. A device that does not open gets a log line saying why.
void dwl_qt_InstallSerialBackend();

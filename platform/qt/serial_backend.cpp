#include "platform/qt/serial_backend.h"

#include "link/com_map.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/qt/serial_open_problem.h"
#include "platform/qt/serial_qt_device.h"
#include "uis/dwl_oplog.h"

#include <QCoreApplication>

namespace {
// QSerialPort wants an application object; a command-line program may not have made one.
void ensureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "dwl";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}
} // namespace

void dwl_qt_InstallSerialBackend() {
    rs232_SetOpener([](int port, const char*, int* error) -> std::unique_ptr<SerialDevice> {
        ensureApplication();
        const std::string path = dwl_ComDevicePath(port);
        std::unique_ptr<QtSerialDevice> device = QtSerialDevice::open(path, error);
        if (!device)
            dwl50_2AddCommentF("COM%d: cannot open %s: %s", port, path.c_str(),
                               dwlqt::openProblem(path).c_str());
        return device;
    });
}

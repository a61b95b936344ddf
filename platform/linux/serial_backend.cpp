#include "link/serial_backend.h"

#include "link/com_map.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/linux/serial_lock_file.h"
#include "platform/linux/serial_tty_device.h"
#include "uis/dwl_oplog.h"

void dwl_InstallSerialBackend() {
    rs232_SetOpener([](int port, const char*, int* error) -> std::unique_ptr<SerialDevice> {
        const std::string path = dwl_ComDevicePath(port);
        dwllinux::OpenReport report;
        std::unique_ptr<SerialDevice> device =
            dwllinux::TtySerialDevice::open(path, dwllinux::systemLockFolders(), &report);
        if (!report.takenOver.empty())
            dwl50_2AddCommentF("COM%d: %s %s; its lock file taken over", port, path.c_str(),
                               report.takenOver.c_str());
        if (!device)
            dwl50_2AddCommentF("COM%d: cannot open %s: %s", port, path.c_str(), report.why.c_str());
        if (error != nullptr) *error = device ? 0 : report.error;
        return device;
    });
}

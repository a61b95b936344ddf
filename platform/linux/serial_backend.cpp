#include "link/serial_backend.h"

#include "link/com_map.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/linux/serial_lock_file.h"
#include "platform/linux/serial_tty_device.h"
#include "uis/dwl_oplog.h"

void dwl_InstallSerialBackend() {
    rs232_SetOpener([](int port, const char* name, int* error) -> std::unique_ptr<SerialDevice> {
        const std::string path = dwl_ComDevicePath(port);
        dwllinux::OpenReport report;
        std::unique_ptr<SerialDevice> device =
            dwllinux::TtySerialDevice::open(path, dwllinux::systemLockFolders(), &report);
        // A port named by its path is named once.
        const std::string who = path == name ? "" : std::string(name) + ": ";
        if (!report.takenOver.empty())
            dwl50_2AddCommentF("%s%s %s; its lock file taken over", who.c_str(), path.c_str(),
                               report.takenOver.c_str());
        if (!device)
            dwl50_2AddCommentF("%scannot open %s: %s", who.c_str(), path.c_str(),
                               report.why.c_str());
        if (error != nullptr) *error = device ? 0 : report.error;
        return device;
    });
}

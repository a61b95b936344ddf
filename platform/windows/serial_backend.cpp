#include "link/serial_backend.h"

#include "link/com_map.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "platform/windows/serial_com_device.h"
#include "uis/dwl_oplog.h"

void dwl_InstallSerialBackend() {
    auto notes = std::make_shared<dwlwin::PortNotes>();
    rs232_SetOpener([notes](int port, const char* name,
                            int* error) -> std::unique_ptr<SerialDevice> {
        std::string path = dwl_ComDevicePath(port);
        // COM12 opens only as \\.\COM12.
        if (const std::string device = dwl_SystemPortDevice(path); !device.empty()) path = device;
        dwlwin::OpenReport report;
        std::unique_ptr<SerialDevice> device =
            dwlwin::ComSerialDevice::open(path, name, notes, &report);
        if (!device)
            dwl50_2AddCommentF("%s: cannot open %s: %s", name, path.c_str(), report.why.c_str());
        if (error != nullptr) *error = device ? 0 : report.error;
        return device;
    });
}

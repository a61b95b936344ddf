#include "link/rs232.h"

#include "link/line_trace.h"
#include "link/rs232_cancel.h"
#include "link/serial_device.h"

#include "uis/dwl_oplog.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace {
constexpr int kMaxPort = 32;

SerialOpener& opener() {
    static SerialOpener instance;
    return instance;
}

std::unique_ptr<SerialDevice> ports[kMaxPort + 1];

bool lossLogged[kMaxPort + 1];

void (*waitHook)() = nullptr;

SerialDevice* device(int port) {
    if (port < 1 || port > kMaxPort) return nullptr;
    return ports[port].get();
}

// A device that went away mid-run says so once in the operator log, with the system's error.
void noteLoss(int port, SerialDevice* d) {
    if (lossLogged[port]) return;
    const char* reason = d->lostReason();
    if (reason == nullptr) return;
    lossLogged[port] = true;
    dwl50_2AddCommentF("Port lost: %s", reason);
}

// While the operator's cancel stands nothing more goes to the handset: what the port still holds
// for sending is discarded, so that the rest of a cancelled sector does not reach the handset
// after the port is closed, or at the start of the next run. True while the cancel stands.
bool discardOnCancel(SerialDevice* d) {
    if (!rs232_Cancelled()) return false;
    d->flushOut();
    return true;
}
} // namespace

int SerialDevice::waitReadable(double) {
    return inQueueLength();
}
int SerialDevice::waitDrained(double) {
    return outQueueLength();
}
const char* SerialDevice::lostReason() const {
    return nullptr;
}

void rs232_SetOpener(SerialOpener newOpener) {
    for (auto& p : ports)
        p.reset();
    opener() = std::move(newOpener);
}

void rs232_SetWaitHook(void (*hook)()) {
    waitHook = hook;
}

void rs232_CallWaitHook() {
    if (waitHook) waitHook();
}

int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits,
                  int stopBits, int, int) {
    if (port < 1 || port > kMaxPort) return kRS_InvalidPortNum;
    if (parity < 0 || parity > 4 || baud <= 0) return kRS_InvalidParameter;
    if (!ports[port]) {
        if (!opener()) return kRS_NoPortFound;
        int error = kRS_CanNotOpenPort;
        ports[port] = dwl12_TraceDevice(opener()(port, deviceName ? deviceName : "", &error), port,
                                        deviceName);
        lossLogged[port] = false;
        if (!ports[port]) return error < 0 ? error : kRS_CanNotOpenPort;
    }
    int rc = ports[port]->configure(baud, parity, dataBits, stopBits);
    if (rc < 0) {
        ports[port].reset();
        return rc;
    }
    return 0;
}

int CloseCom(int port) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    discardOnCancel(d);
    ports[port].reset();
    return 0;
}

int SetCTSMode(int port, int) {
    return device(port) ? 0 : kRS_PortNotOpen;
}
int SetXMode(int port, int) {
    return device(port) ? 0 : kRS_PortNotOpen;
}

int SetComTime(int port, double seconds) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    d->setTimeout(seconds);
    return 0;
}

int FlushInQ(int port) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    d->flushIn();
    return 0;
}

int FlushOutQ(int port) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    d->flushOut();
    return 0;
}

int ComSetEscape(int port, int escapeCode) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (escapeCode == SETDTR)
        d->setDtr(true);
    else if (escapeCode == CLRDTR)
        d->setDtr(false);
    else
        return kRS_InvalidParameter;
    return 0;
}

int ComWrtByte(int port, int byte) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (discardOnCancel(d)) return 0;
    uint8_t b = static_cast<uint8_t>(byte);
    int rc = d->write(&b, 1);
    return rc < 0 ? rc : 1;
}

int ComWrt(int port, const void* buffer, int count) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (count < 0 || (count > 0 && !buffer)) return kRS_InvalidParameter;
    if (count == 0 || discardOnCancel(d)) return 0;
    return d->write(static_cast<const uint8_t*>(buffer), count);
}

int GetOutQLen(int port) {
    SerialDevice* d = device(port);
    return d ? d->outQueueLength() : kRS_PortNotOpen;
}

int GetInQLen(int port) {
    SerialDevice* d = device(port);
    return d ? d->inQueueLength() : kRS_PortNotOpen;
}

int WaitInQ(int port, double seconds) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (discardOnCancel(d)) return 0;
    int rc = d->waitReadable(seconds);
    if (rc < 0) noteLoss(port, d);
    discardOnCancel(d);
    return rc;
}

int WaitOutQEmpty(int port, double seconds) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (discardOnCancel(d)) return d->outQueueLength();
    int rc = d->waitDrained(seconds);
    if (rc < 0) noteLoss(port, d);
    if (rc > 0 && discardOnCancel(d)) return d->outQueueLength();
    return rc;
}

// A port that is not open (a reopen that failed) answers every read as silence: the protocol
// loops stop on the time-out byte, and would spin on any other error value.
// While the operator's cancel is set every read answers as the time-out.
int ComRdByte(int port) {
    SerialDevice* d = device(port);
    if (!d) return kRS_TimeOutErr;
    if (discardOnCancel(d)) return kRS_TimeOutErr;
    int rc = d->readByte();
    if (rc < 0) noteLoss(port, d);
    discardOnCancel(d);
    return rc;
}

int ComRd(int port, void* buffer, int count) {
    SerialDevice* d = device(port);
    if (!d) return kRS_PortNotOpen;
    if (count <= 0 || !buffer || discardOnCancel(d)) return 0;
    int rc = d->read(static_cast<uint8_t*>(buffer), count);
    if (rc < count) noteLoss(port, d);
    discardOnCancel(d);
    return rc;
}

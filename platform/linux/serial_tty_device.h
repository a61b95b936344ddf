// SerialDevice on a terminal device of Linux: USB-serial adapters, built-in UARTs and
// pseudo-terminals, through the kernel's termios2 and poll().
//
// Output goes to the kernel as far as it takes it; the rest waits in a queue of our own, handed
// over from every later call (a write, a queue query, a wait). Every wait sleeps in poll() on the
// line and the operator's cancel until bytes come, the kernel takes more output, the line fails,
// the cancel is set or its time is up.
#pragma once

#include "link/serial_device.h"
#include "link/wire_clock.h"
#include "platform/linux/serial_lock_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dwllinux {

// Why an open failed and what it found on the way, for the operator's log.
struct OpenReport {
    int error = 0;         // the port services' negative error number; 0 when it opened
    std::string why;       // why it did not open ("in use by process 4711 (minicom)")
    std::string takenOver; // whose lock left behind was taken over, "" when none
};

class TtySerialDevice : public SerialDevice {
  public:
    // Opens the device at `path` (symbolic links resolved, the device's lock file taken; raw, 8
    // data bits, no parity, no handshake until configure). nullptr when it does not open;
    // `report` says why.
    static std::unique_ptr<TtySerialDevice> open(const std::string& path, const LockFolders& locks,
                                                 OpenReport* report);
    ~TtySerialDevice() override;
    TtySerialDevice(const TtySerialDevice&) = delete;
    TtySerialDevice& operator=(const TtySerialDevice&) = delete;

    int configure(long baud, int parity, int dataBits, int stopBits) override;
    void setTimeout(double seconds) override;
    void setDtr(bool on) override;
    void flushIn() override;
    void flushOut() override;
    int write(const uint8_t* data, int count) override;
    int outQueueLength() override;
    int inQueueLength() override;
    int readByte() override;
    int read(uint8_t* buffer, int count) override;
    int waitReadable(double seconds) override;
    int waitDrained(double seconds) override;
    const char* lostReason() const override;

    bool isPseudoTerminal() const { return pty_; }
    // The device is gone (adapter unplugged, the other end of a pseudo-terminal closed).
    bool isLost() const { return lost_; }
    // The lock file this port holds, "" when none.
    const std::string& lockFile() const { return lock_.file(); }

  private:
    TtySerialDevice() = default;
    // Sleeps in poll() on the line and the operator's cancel until `deadline` (monotonic
    // seconds) at the latest: until input arrives (wantInput), the kernel can take more of our
    // output, the line fails or the cancel is set. Hands the kernel what it takes.
    void sleepOnLine(double deadline, bool wantInput);
    // Hands queued output to the kernel as far as it takes it, without waiting.
    void pumpOutput();
    // Reads what has arrived, up to count bytes, without waiting.
    int readArrived(uint8_t* buffer, int count);
    // Looks at the line itself: a hung-up device counts as lost.
    void probeLine();
    // Marks the device lost with the system's error text; nothing queued will ever leave it.
    void markLost(const std::string& why);
    // Output not yet handed to the kernel.
    int ownQueue() const { return static_cast<int>(out_.size() - outFrom_); }
    // Bytes the kernel still holds for sending (on a pseudo-terminal: the wire time left of what
    // it was handed, see WireClock).
    int driverQueue();

    int fd_ = -1;
    DeviceLock lock_;
    std::string path_;
    std::string lostReason_;
    bool pty_ = false;
    bool lost_ = false;
    double timeoutSeconds_ = 5.0;
    std::vector<uint8_t> out_; // output not yet handed to the kernel, from out_[outFrom_]
    size_t outFrom_ = 0;
    WireClock wire_;
    // A pseudo-terminal: when its far end will have read every byte handed to it (after a
    // flush, those its read buffer already held), and whether it has answered since.
    double farEndReadAt_ = 0.0;
    bool farEndAnswered_ = true;
    // Watches the output queue: when it has not shrunk for a whole time-out the bytes are
    // dropped, so that a stalled line never holds a caller that polls for the queue to empty.
    int lastQueued_ = 0;
    double lastOutputProgress_ = 0.0;
};

} // namespace dwllinux

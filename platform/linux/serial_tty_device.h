// SerialDevice on a terminal device of Linux: USB-serial adapters, built-in UARTs and
// pseudo-terminals, through the kernel's termios2 and poll().
//
// The line's behaviour is SerialLine's (link/serial_line.h); this device hands bytes to the
// kernel, asks it for its queues and sleeps in poll() on the line and the operator's cancel. A
// pseudo-terminal shows no output queue: the wire clock stands for it, and the close waits for
// its far end to read what it was handed.
#pragma once

#include "link/serial_line.h"
#include "platform/linux/serial_lock_file.h"

#include <cstdint>
#include <memory>
#include <string>

namespace dwllinux {

using OpenReport = SerialOpenReport;

class TtySerialDevice : public SerialLine {
  public:
    // Opens the device at `path` (symbolic links resolved, the device's lock file taken; raw, 8
    // data bits, no parity, no handshake until configure). nullptr when it does not open;
    // `report` says why.
    static std::unique_ptr<TtySerialDevice> open(const std::string& path, const LockFolders& locks,
                                                 OpenReport* report);
    ~TtySerialDevice() override;

    int configure(long baud, int parity, int dataBits, int stopBits) override;
    void setDtr(bool on) override;
    void flushIn() override;

    bool isPseudoTerminal() const { return pty_; }
    // The device is gone (adapter unplugged, the other end of a pseudo-terminal closed).
    bool isLost() const { return lost_; }
    // The lock file this port holds, "" when none.
    const std::string& lockFile() const { return lock_.file(); }

  private:
    TtySerialDevice() = default;
    // The primitives of SerialLine, on the terminal's file descriptor.
    bool isOpen() const override;
    // Sleeps in poll() on the line and the operator's cancel; hands the kernel what it takes.
    void sleepOnLine(double deadline, bool wantInput) override;
    // A hung-up device counts as lost.
    void probeLine() override;
    long handOver(const uint8_t* data, long count) override;
    int readArrived(uint8_t* buffer, int count) override;
    // On a pseudo-terminal: the wire time left of what it was handed (see WireClock).
    long driverQueue() override;
    long bytesWaiting() override;
    bool quietSlice() override;
    void discardOutput() override;

    int fd_ = -1;
    DeviceLock lock_;
    bool pty_ = false;
};

} // namespace dwllinux

// SerialDevice on a real port through QSerialPort: USB-serial adapters, built-in UARTs and
// pseudo-terminals.
#pragma once

#include "link/serial_device.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <memory>
#include <string>

class QtSerialDevice : public SerialDevice {
  public:
    // Opens the device at `path` (8 data bits, no parity, no handshake until configure). On
    // failure returns nullptr and stores a negative port-service error number in *error.
    static std::unique_ptr<QtSerialDevice> open(const std::string& path, int* error);
    ~QtSerialDevice() override;

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

    bool isPseudoTerminal() const { return pty_; }
    // The device is gone (adapter unplugged, the other end of a pseudo-terminal closed).
    bool isLost() const { return lost_; }

  private:
    QtSerialDevice() = default;
    // Waits at most the time-out for at least one byte to read. false on time-out or loss.
    bool waitForInput();
    // Moves queued output to the kernel as far as it takes it, waiting at most `msecs`.
    void pumpOutput(int msecs);
    // Notes a failed operation; a lost device stops every later wait.
    void checkError();
    // Looks at the line itself: a hung-up device counts as lost.
    void probeLine();
    int timeoutMsecs() const;
    int queuedOutput();

    QSerialPort port_;
    bool pty_ = false;
    bool lost_ = false;
    double timeoutSeconds_ = 5.0;
    // Watches the output queue: when it has not shrunk for a whole time-out the bytes are dropped,
    // so that a stalled line never holds a caller that polls for the queue to empty.
    int lastQueued_ = 0;
    QElapsedTimer lastOutputProgress_;
};

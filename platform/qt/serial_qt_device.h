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
    int waitReadable(double seconds) override;
    int waitDrained(double seconds) override;
    const char* lostReason() const override;

    bool isPseudoTerminal() const { return pty_; }
    // The device is gone (adapter unplugged, the other end of a pseudo-terminal closed).
    bool isLost() const { return lost_; }

  private:
    QtSerialDevice() = default;
    // Sleeps in poll() on the port and the operator's cancel for at most `msecs`: until input
    // arrives (wantInput), the kernel takes more of the queued output, the line fails or the
    // cancel is set. Takes in what arrived and hands the kernel what it can take.
    void sleepOnLine(int msecs, bool wantInput);
    // Moves queued output to the kernel as far as it takes it, without waiting.
    void pumpOutput();
    // Notes a failed operation; a lost device stops every later wait.
    void checkError();
    // Looks at the line itself: a hung-up device counts as lost.
    void probeLine();
    // Marks the device lost with the system's error text.
    void markLost(const char* why);
    int timeoutMsecs() const;
    int queuedOutput();
    // Bytes the driver still holds for sending (on a pseudo-terminal: the wire time left of what
    // it was handed, see accountHandoff).
    int driverQueue();
    // Notes the bytes QSerialPort handed to the driver since the last look, and when they
    // leave the (modelled) wire.
    void accountHandoff();
    // Seconds one byte takes on the wire at the configured settings.
    double byteSeconds() const;

    QSerialPort port_;
    std::string path_;
    std::string lostReason_;
    bool pty_ = false;
    bool lost_ = false;
    double timeoutSeconds_ = 5.0;
    long baud_ = 38400;
    QElapsedTimer clock_;
    qint64 accepted_ = 0;     // bytes taken by write() since the last flush
    qint64 handed_ = 0;       // of those, bytes handed to the driver
    double wireFreeAt_ = 0.0; // when the last handed byte has left the wire (clock_ seconds)
    int bitsPerByte_ = 10;
    // Watches the output queue: when it has not shrunk for a whole time-out the bytes are dropped,
    // so that a stalled line never holds a caller that polls for the queue to empty.
    int lastQueued_ = 0;
    QElapsedTimer lastOutputProgress_;
};

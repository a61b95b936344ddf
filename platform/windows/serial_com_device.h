// SerialDevice on a Windows COM port (a built-in UART, a USB-serial adapter, or under wine a
// pseudo-terminal mapped to a COM name), opened for overlapped I/O.
//
// Output goes to the driver one write of at most a few KB at a time; the rest waits in a queue of
// our own, handed over from every later call (a write, a queue query, a wait). Input arrives
// through a read of one byte kept pending while a caller waits, which ends as that byte comes;
// what the driver holds besides is then read at once. Every wait sleeps in
// WaitForMultipleObjects on the read, the write and the operator's cancel until bytes come, the
// write ends, the cancel is set or its time is up.
//
// Ports differ (wine on a pseudo-terminal in particular), so the device builds only on what
// every one of them does: no WaitCommEvent, no "return at the first byte" time-outs, no
// FlushFileBuffers. The bytes handed over are counted as queued for their wire time, since a
// driver's own count leaves out the pending writes; a port without modem lines gets no DTR and
// says so once; a device that is gone shows when a query or a write fails.
#pragma once

#include "link/serial_device.h"
#include "link/wire_clock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dwlwin {

// Why an open failed, for the operator's log.
struct OpenReport {
    int error = 0;   // the port services' negative error number; 0 when it opened
    std::string why; // "in use by another program", the system's text
};

// What the ports of one program have said to the operator already.
struct PortNotes {
    bool noModemLines = false; // a port that takes no DTR was named in the log
};

class ComSerialDevice : public SerialDevice {
  public:
    // Opens the port at `path` (\\.\COM12; raw, 8 data bits, no parity, no handshake, 38400
    // baud until configure). `label` names it in the log ("COM4"). nullptr when it does not
    // open; `report` says why.
    static std::unique_ptr<ComSerialDevice> open(const std::string& path, const std::string& label,
                                                 std::shared_ptr<PortNotes> notes,
                                                 OpenReport* report);
    ~ComSerialDevice() override;
    ComSerialDevice(const ComSerialDevice&) = delete;
    ComSerialDevice& operator=(const ComSerialDevice&) = delete;

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

  private:
    ComSerialDevice();
    // Sleeps until `deadline` (monotonic seconds) at the latest: until the pending read ends
    // (wantInput: one is started first), the pending write ends, or the cancel is set. Hands the
    // driver more output when a write ended.
    void sleepOnLine(double deadline, bool wantInput);
    // Collects ended writes and starts the next, as far as the driver takes them at once.
    void pumpOutput();
    // Collects an ended read, and reads what the driver holds besides, without waiting for more.
    void fetchArrived();
    // Starts an overlapped read of `count` bytes unless one is pending.
    void startRead(size_t count);
    // Collects the pending read if it has ended, without waiting.
    void collectRead();
    // Calls off a pending read or write (an OVERLAPPED of io_) and gives it a moment to end.
    // False when it is still pending: its buffer still belongs to the driver.
    bool callOff(void* operation);
    // The driver's own counts of received bytes and of bytes still to send.
    struct DriverQueues {
        unsigned long in = 0, out = 0;
    };
    // Asks the driver for its queues; a failure means the device is gone. False then.
    bool probeLine(DriverQueues* queues);
    // Marks the device lost with the system's text for `error`; nothing queued will ever leave.
    void markLost(unsigned long error);
    // Output not yet handed to the driver.
    size_t ownQueue() const { return out_.size() - outFrom_; }
    // Received bytes not yet read by the caller.
    size_t inBuffered() const { return in_.size() - inFrom_; }
    // Bytes the driver still has to send: the wire time left of what it was handed, or its own
    // count and the pending write where those are more.
    long driverQueue(const DriverQueues& queues);

    // The system's objects of the port (the handle, the overlapped operations and their events),
    // kept out of this header so that its users need not see the Windows headers.
    struct Io;
    std::unique_ptr<Io> io_;
    std::string path_;
    std::string label_;
    std::shared_ptr<PortNotes> notes_;
    std::string lostReason_;
    bool lost_ = false;
    bool dtrOn_ = true; // the port raises DTR as it opens
    double timeoutSeconds_ = 5.0;

    std::vector<uint8_t> out_; // output not yet handed to the driver, from out_[outFrom_]
    size_t outFrom_ = 0;
    std::vector<uint8_t> writing_; // the bytes of the pending write
    bool writePending_ = false;
    bool writeDropped_ = false; // the pending write was flushed: its bytes do not count
    WireClock wire_;

    std::vector<uint8_t> in_; // received, from in_[inFrom_]
    size_t inFrom_ = 0;
    std::vector<uint8_t> reading_; // the buffer of the pending read
    bool readPending_ = false;

    // When the far end will have read every byte handed to it, and whether it has answered
    // since: a port closed before then waits for it (a pseudo-terminal keeps what it holds).
    double farEndReadAt_ = 0.0;
    bool farEndAnswered_ = true;
    // Watches the output queue: when it has not shrunk for a whole time-out the bytes are
    // dropped, so that a stalled line never holds a caller that polls for the queue to empty.
    long lastQueued_ = 0;
    double lastOutputProgress_ = 0.0;
};

} // namespace dwlwin

// SerialDevice on a Windows COM port (a built-in UART, a USB-serial adapter, or under wine a
// pseudo-terminal mapped to a COM name), opened for overlapped I/O.
//
// The line's behaviour is SerialLine's (link/serial_line.h). Output goes to the driver one write
// of at most a few KB at a time; the rest waits in SerialLine's queue. Input arrives
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

#include "link/serial_line.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dwlwin {

using OpenReport = SerialOpenReport;

// A program with windows (dwl-gui.exe) has the waits on the line wake for its window messages
// too: they sleep in MsgWaitForMultipleObjectsEx, and input, painting or a timer that comes
// meanwhile runs the wait hook (link/serial_device.h), which delivers it, before the wait goes
// on to its end. Off by default (the console program has no windows).
void SetWakeOnWindowMessages(bool on);

// What the ports of one program have said to the operator already.
struct PortNotes {
    bool noModemLines = false; // a port that takes no DTR was named in the log
};

class ComSerialDevice : public SerialLine {
  public:
    // Opens the port at `path` (\\.\COM12; raw, 8 data bits, no parity, no handshake, 38400
    // baud until configure). `label` names it in the log ("COM4"). nullptr when it does not
    // open; `report` says why.
    static std::unique_ptr<ComSerialDevice> open(const std::string& path, const std::string& label,
                                                 std::shared_ptr<PortNotes> notes,
                                                 OpenReport* report);
    ~ComSerialDevice() override;

    int configure(long baud, int parity, int dataBits, int stopBits) override;
    void setDtr(bool on) override;
    void flushIn() override;

  private:
    ComSerialDevice();
    bool isOpen() const override;
    // Collects an ended write and starts the next, of at most a few KB.
    long handOver(const uint8_t* data, long count) override;
    bool handOverPending() override;
    // The wire time left of what the driver was handed, or its own count and the pending write
    // where those are more.
    long driverQueue() override;
    long bytesWaiting() override;
    int readArrived(uint8_t* buffer, int count) override;
    // Sleeps in WaitForMultipleObjects on the pending read (wantInput: one is started first),
    // the pending write and the cancel; hands the driver more output when a write ended.
    void sleepOnLine(double deadline, bool wantInput) override;
    // A driver that no longer answers ClearCommError: the device is gone.
    void probeLine() override;
    void discardOutput() override;
    bool quietSlice() override;

    // Collects the pending write if it has ended, without waiting.
    void collectWrite();
    // Collects an ended read, and reads what the driver holds besides, without waiting for more.
    void fetchArrived();
    // Starts an overlapped read of `count` bytes unless one is pending.
    void startRead(size_t count);
    // Collects the pending read if it has ended, without waiting.
    void collectRead();
    // Calls off a pending read or write (an OVERLAPPED of io_) and gives it a moment to end.
    // False when it is still pending: its buffer still belongs to the driver.
    bool callOff(void* operation);
    // Asks the driver for its queues (driverQueues_); a failure means the device is gone.
    bool askDriver();
    // Marks the device lost with the system's text for `error`.
    void loseWith(unsigned long error);
    // Received bytes not yet read by the caller.
    size_t inBuffered() const { return in_.size() - inFrom_; }

    // The system's objects of the port (the handle, the overlapped operations and their events),
    // kept out of this header so that its users need not see the Windows headers.
    struct Io;
    std::unique_ptr<Io> io_;
    std::string label_;
    std::shared_ptr<PortNotes> notes_;
    bool dtrOn_ = true; // the port raises DTR as it opens
    // The driver's own counts of received bytes and of bytes still to send, as last asked.
    struct DriverQueues {
        unsigned long in = 0, out = 0;
    };
    DriverQueues driverQueues_;

    std::vector<uint8_t> writing_; // the bytes of the pending write
    bool writePending_ = false;
    bool writeDropped_ = false; // the pending write was flushed: its bytes do not count

    std::vector<uint8_t> in_; // received, from in_[inFrom_]
    size_t inFrom_ = 0;
    std::vector<uint8_t> reading_; // the buffer of the pending read
    bool readPending_ = false;
};

} // namespace dwlwin

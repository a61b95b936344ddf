// The behaviour every serial port of a system shares, written once: the output queue of our own
// that feeds the driver without blocking, the wire clock, the write time-out of a stalled line,
// the waits for readable and drained, the read loop with its time-out and wait hook, and the
// wait at the close for the far end of a pseudo-terminal. A backend of a system
// (platform/<system>) supplies the primitives below and keeps its own quirks.
//
// Output goes to the driver as far as it takes it; the rest waits in our queue, handed over from
// every later call (a write, a queue query, a wait). Every wait sleeps in the backend's
// sleepOnLine() until bytes come, the driver can take more, the line fails, the operator
// cancels or its time is up.
#pragma once

#include "link/serial_device.h"
#include "link/wire_clock.h"

#include <cstdint>
#include <string>
#include <vector>

// Why an open failed and what it found on the way, for the operator's log.
struct SerialOpenReport {
    int error = 0;         // the port services' negative error number; 0 when it opened
    std::string why;       // why it did not open ("in use by process 4711 (minicom)")
    std::string takenOver; // whose lock left behind was taken over, "" when none
};
// The report an open fills: `report` cleared, or `spare` when the caller wants none. An empty
// path is refused in it at once (its error set).
SerialOpenReport* dwl_StartOpenReport(const std::string& path, SerialOpenReport* report,
                                      SerialOpenReport* spare);

// A read waits in slices of this length and calls the port services' wait hook between them.
constexpr double kSerialReadSliceSeconds = 0.05;
// Without a way to wake on the operator's cancel, a sleep looks at the flag this often.
constexpr double kSerialCancelCheckSeconds = 0.05;

class SerialLine : public SerialDevice {
  public:
    SerialLine() = default;
    // A line is one device: never copied.
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    void setTimeout(double seconds) override;
    void flushOut() override;
    int write(const uint8_t* data, int count) override;
    int outQueueLength() override;
    int inQueueLength() override;
    int readByte() override;
    int read(uint8_t* buffer, int count) override;
    int waitReadable(double seconds) override;
    int waitDrained(double seconds) override;
    const char* lostReason() const override;

  protected:
    // The primitives of a system.
    // Whether the device is open at all.
    virtual bool isOpen() const = 0;
    // Hands the driver up to `count` bytes without waiting; returns how many it took (0: none
    // now). A failure marks the line lost.
    virtual long handOver(const uint8_t* data, long count) = 0;
    // Bytes the driver still has to send.
    virtual long driverQueue() = 0;
    // Received bytes ready to read, without waiting.
    virtual long bytesWaiting() = 0;
    // Reads what has arrived, up to count bytes, without waiting.
    virtual int readArrived(uint8_t* buffer, int count) = 0;
    // Sleeps until `deadline` (monotonic seconds) at the latest: until input arrives
    // (wantInput), the driver can take more output, the line fails or the cancel is set.
    virtual void sleepOnLine(double deadline, bool wantInput) = 0;
    // Looks at the line itself: a device that is gone is marked lost.
    virtual void probeLine() = 0;
    // Discards what the driver holds for sending.
    virtual void discardOutput() = 0;
    // After a read slice that brought nothing: whether the line is still quiet and there, so
    // that the wait hook may run.
    virtual bool quietSlice() = 0;
    // Whether a hand-over is still under way (the driver will take more once it ends).
    virtual bool handOverPending() { return false; }

    // Hands the driver what it takes, without waiting.
    void pumpOutput();
    // Marks the line lost (`why`: the system's words); nothing queued will ever leave it.
    void markLost(const std::string& why);
    // How long the close must wait for the far end to read what it was handed: a
    // pseudo-terminal keeps what it holds for the next opening. 0 when it need not.
    double closeWaitSeconds() const;
    // Output not yet handed to the driver.
    long ownQueue() const { return static_cast<long>(out_.size() - outFrom_); }

    // The device's name in the lost reason ("/dev/ttyUSB0", "\\.\COM7").
    std::string path_;
    bool lost_ = false;
    double timeoutSeconds_ = 5.0;
    WireClock wire_;
    // The bytes handed over are counted on the wire clock (a pseudo-terminal, or a driver whose
    // own count leaves out what it was handed), and the far end's reading is followed.
    bool modelsWire_ = false;

  private:
    std::string lostReason_;
    std::vector<uint8_t> out_; // output not yet handed to the driver, from out_[outFrom_]
    size_t outFrom_ = 0;
    // When the far end will have read every byte handed to it (after a flush, those its read
    // buffer already held), and whether it has answered since.
    double farEndReadAt_ = 0.0;
    bool farEndAnswered_ = true;
    // Watches the output queue: when it has not shrunk for a whole time-out the bytes are
    // dropped, so that a stalled line never holds a caller that polls for the queue to empty.
    long lastQueued_ = 0;
    double lastOutputProgress_ = dwl_MonotonicSeconds();
};

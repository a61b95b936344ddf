// One open serial device as the port services see it. Backends: the system's real ports
// (platform/<system>, see link/serial_backend.h) and the in-process link to the emulated handset
// (sim/).
//
// Waiting: readByte(), read(), waitReadable() and waitDrained() sleep (in the OS, or in the
// virtual time of the emulated handset) until bytes arrive, the output drains, the operator
// cancels (link/rs232_cancel.h), the device fails, or their time is up; none of them spins. A
// read that waits longer than a short slice calls rs232_CallWaitHook() between slices. The
// queue queries do not sleep (the emulated handset's let a little virtual time pass, for
// callers that poll). A wrapper around a device (a line trace, say) forwards every call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// Returned by readByte() when nothing arrives within the time-out.
constexpr int DWL_RS232_TIMEOUT = -99;

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;
    // Applies line settings; parity 0 none, 1 odd, 2 even. 0 or a negative error number.
    virtual int configure(long baud, int parity, int dataBits, int stopBits) = 0;
    virtual void setTimeout(double seconds) = 0;
    virtual void setDtr(bool on) = 0;
    virtual void flushIn() = 0;
    // Discards every byte not yet sent: the backend's queue and the driver's.
    virtual void flushOut() = 0;
    // Queues count bytes for sending without blocking; returns count or a negative error.
    virtual int write(const uint8_t* data, int count) = 0;
    // Bytes still waiting to be sent (the backend's queue and the driver's). Does not wait.
    virtual int outQueueLength() = 0;
    // Bytes received and not yet read. Does not wait.
    virtual int inQueueLength() = 0;
    // Next byte 0..255, waiting at most the time-out; DWL_RS232_TIMEOUT when none came, the
    // operator cancelled or the device failed.
    virtual int readByte() = 0;
    // Up to count bytes, waiting at most the time-out for the whole call (not per chunk);
    // returns the number read.
    virtual int read(uint8_t* buffer, int count) = 0;

    // Sleeps until at least one received byte is ready, the operator cancels, the device fails
    // or `seconds` pass, whichever comes first. Returns the bytes ready to read (0 when none
    // came), or a negative error number when the device is gone.
    // The default asks inQueueLength() once, for doubles whose queries move a clock of their own.
    virtual int waitReadable(double seconds);
    // Sleeps until the output queue is empty, the operator cancels, the device fails or
    // `seconds` pass. Returns the bytes still queued (0: drained), or a negative error number
    // when the device is gone. The default asks outQueueLength() once.
    virtual int waitDrained(double seconds);
    // Once the device is gone (a pulled USB adapter, a closed pseudo-terminal): a text naming
    // the device and the system's error, "/dev/ttyUSB0: Input/output error". nullptr while the
    // device works.
    virtual const char* lostReason() const;
};

// Opens the device behind COM port `port` (device name as the link built it, "COM4").
// On failure returns nullptr and stores a negative error number in *error.
using SerialOpener =
    std::function<std::unique_ptr<SerialDevice>(int port, const char* deviceName, int* error)>;

// Installs the backend that OpenComConfig uses; an empty opener makes every open fail.
void rs232_SetOpener(SerialOpener opener);

// A function the device backends call between the slices of a read that waits for bytes, so
// that a front end can keep its windows painted. It must not
// start anything that uses the serial port. nullptr removes it.
void rs232_SetWaitHook(void (*hook)());
// Calls the installed wait hook, if any; backends call it from their waiting loops.
void rs232_CallWaitHook();

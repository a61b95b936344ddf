// The far end of a pseudo-terminal for the serial tests: the test holds the master side, the
// port under test opens the slave device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ptytest {

class PtyPeer {
  public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    // The device the port under test opens, /dev/pts/N.
    const std::string& slavePath() const { return slave_; }

    void send(const std::vector<uint8_t>& bytes);
    // Reads until `count` bytes came or `msecs` passed without all of them.
    std::vector<uint8_t> receive(size_t count, int msecs);
    // Closes the master side: the port under test loses its line.
    void hangUp();

    // Line settings of the slave side as the kernel holds them, read from the master side.
    struct Line {
        unsigned long outputSpeed;
        unsigned long inputSpeed;
        unsigned long cflag;
        bool arbitraryRate; // set as an arbitrary rate rather than a standard one
    };
    Line line() const;
    // Bits of Line::cflag.
    static unsigned long charSizeMask();
    static unsigned long eightBits();

    int masterFd() const { return master_; }

  private:
    int master_ = -1;
    std::string slave_;
};

} // namespace ptytest

// Shared pieces of the emulator tests: a small flash description in a temporary folder, a COM
// port opened on the emulated handset, and raw-byte helpers on the serial services.
#pragma once

#include "sim/handset.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace simtest {

constexpr int kPort = 1;
constexpr uint32_t kFlash = 0x02000000;
// The test chip: 8 sectors of 8 KB then 8 of 64 KB (576 KB).
constexpr uint8_t kManufacturer = 0x89;
constexpr uint8_t kDevice = 0x18;
constexpr uint32_t kFlashSize = 8 * 8192 + 8 * 65536;

class SimTest : public ::testing::Test {
  protected:
    SimTest();
    ~SimTest() override;

    // A handset on the test chip, the bootstrap already running at 38400 baud, even parity.
    sim::HandsetConfig runningConfig() const;
    // A handset on the test chip waiting for DTR.
    sim::HandsetConfig bootConfig() const;

    // Starts a session and opens the port at 38400 baud, even parity, 5 s time-out.
    void start(const sim::HandsetConfig& config);
    sim::Handset& handset() { return session_->handset(); }
    sim::VirtualClock& clock() { return session_->clock(); }

    void send(const std::vector<uint8_t>& bytes);
    // Reads count bytes, time-outs included as -99.
    std::vector<int> read(int count);
    // Reads until a time-out and returns the bytes before it.
    std::vector<int> readAll();
    // Raises DTR, reads up to the first 0xBE (skipping others) and answers 0x44.
    bool wakeUp();
    // Sends the chip-select pairs, the bootstrap image and the start frame.
    void upload(const std::vector<uint8_t>& image);
    // Wake-up, upload, and the 7 bytes 44 A0 xx xx C2 man dev.
    void boot();
    // Speed change to the divider triple; returns the C3 reply pair.
    std::vector<int> changeSpeed(uint8_t p0, uint8_t p1, uint8_t p2);

    testsupport::TempDir dir_;
    std::string flashFile_;
    std::unique_ptr<sim::SimSession> session_;
};

std::vector<uint8_t> Pattern(size_t size, uint32_t seed);
uint32_t Sum(const std::vector<uint8_t>& bytes);
std::vector<int> Ints(std::initializer_list<int> values);

} // namespace simtest

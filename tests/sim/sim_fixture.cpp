#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"

namespace simtest {

SimTest::SimTest() {
    flashFile_ = dir_.file("flash.txt");
    testsupport::writeCrLfFile(flashFile_, {
                                               "# test chips",
                                               "NEW_FLASH",
                                               "MANUFACTURER_NAME : TEST",
                                               "DEVICE_NAME : SMALL",
                                               "BASEBAND_PRODUCT : PCF5087",
                                               "MANUFACTURER_ID : 137",
                                               "DEVICE_ID : 24",
                                               "NB_BANKS : 2",
                                               "NB_SECTORS : 16",
                                               "START_SECTOR_DESCRITPION",
                                               "0-7*8192*0",
                                               "8-15*65536*1",
                                               "END_SECTOR_DESCRIPTION",
                                               "END_FLASH",
                                               "NEW_FLASH",
                                               "MANUFACTURER_NAME : AMD",
                                               "DEVICE_NAME : EXTRA",
                                               "BASEBAND_PRODUCT : PCF5087",
                                               "MANUFACTURER_ID : 1",
                                               "DEVICE_ID : 227",
                                               "NB_BANKS : 1",
                                               "NB_SECTORS : 4",
                                               "START_SECTOR_DESCRITPION",
                                               "0-3*65536*0",
                                               "END_SECTOR_DESCRIPTION",
                                               "END_FLASH",
                                           });
}

SimTest::~SimTest() {
    session_.reset();
}

sim::HandsetConfig SimTest::bootConfig() const {
    sim::HandsetConfig config;
    config.flashFile = flashFile_;
    config.manufacturerId = kManufacturer;
    config.deviceId = kDevice;
    return config;
}

sim::HandsetConfig SimTest::runningConfig() const {
    sim::HandsetConfig config = bootConfig();
    config.startInBootstrap = true;
    return config;
}

void SimTest::start(const sim::HandsetConfig& config) {
    session_.reset();
    session_ = std::make_unique<sim::SimSession>(config);
    ASSERT_EQ(OpenComConfig(kPort, "COM1", 38400, 2, 8, 1, 65536, 65536), 0);
    SetComTime(kPort, 5.0);
}

void SimTest::send(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(ComWrt(kPort, bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
}

std::vector<int> SimTest::read(int count) {
    std::vector<int> bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(ComRdByte(kPort));
    return bytes;
}

std::vector<int> SimTest::readAll() {
    std::vector<int> bytes;
    for (;;) {
        int b = ComRdByte(kPort);
        if (b < 0) return bytes;
        bytes.push_back(b);
    }
}

bool SimTest::wakeUp() {
    ComSetEscape(kPort, SETDTR);
    for (int i = 0; i < 1000; ++i) {
        int b = ComRdByte(kPort);
        if (b < 0) return false;
        if (b == 0xBE) {
            send({0x44});
            ComSetEscape(kPort, CLRDTR);
            return true;
        }
    }
    return false;
}

void SimTest::upload(const std::vector<uint8_t>& image) {
    send({0xC6, 0x80, 0xCE, 0x01, 0xD7, 0x00, 0xD7, 0x82});
    send({0x00, 0x03, 0x00, 0x00, 0x00, 0x00});
    size_t l = image.size() - 1;
    send({static_cast<uint8_t>(0x40 | (l >> 8)), static_cast<uint8_t>(l & 0xFF)});
    send(image);
    send({0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x60, 0x00});
}

void SimTest::boot() {
    ASSERT_TRUE(wakeUp());
    upload(Pattern(4001, 87));
    // Announcements that were already on their way are skipped, as the PC does.
    int b = ComRdByte(kPort);
    while (b == 0xBE)
        b = ComRdByte(kPort);
    ASSERT_EQ(b, 0x44);
    std::vector<int> rest = read(6);
    ASSERT_EQ(rest[0], 0xA0);
    ASSERT_EQ(rest[3], 0xC2);
    ASSERT_EQ(rest[4], kManufacturer);
    ASSERT_EQ(rest[5], kDevice);
}

std::vector<int> SimTest::changeSpeed(uint8_t p0, uint8_t p1, uint8_t p2) {
    send({0xE0});
    EXPECT_EQ(ComRdByte(kPort), 0xC0);
    unsigned sum = unsigned{p0} + p1 + p2;
    send({p0, p1, p2, static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
    return read(2);
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

uint32_t Sum(const std::vector<uint8_t>& bytes) {
    uint32_t sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return sum;
}

std::vector<int> Ints(std::initializer_list<int> values) {
    return std::vector<int>(values);
}

} // namespace simtest

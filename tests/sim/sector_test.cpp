// The sector command: erase, program, checksum acknowledgement, refusals.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"

using namespace simtest;

namespace {

class Sector : public SimTest {
  protected:
    void sendSector(uint32_t size, uint32_t address, const std::vector<uint8_t>& data) {
        uint32_t n = static_cast<uint32_t>(data.size());
        std::vector<uint8_t> cmd{0xEA};
        for (uint32_t v : {size, address, n}) {
            for (int shift = 24; shift >= 0; shift -= 8)
                cmd.push_back(uint8_t(v >> shift));
        }
        send(cmd);
        if (!data.empty()) send(data);
    }
    static std::vector<int> Ack(uint32_t sum) {
        return Ints({0xCC, int(sum & 0xFF), int((sum >> 8) & 0xFF), int((sum >> 16) & 0xFF),
                     int(sum >> 24)});
    }
};

TEST_F(Sector, WriteLandsInTheFlashWithItsChecksum) {
    start(runningConfig());
    std::vector<uint8_t> data = Pattern(70000 - 65536, 5);
    sendSector(65536, kFlash + 0x10000 + 65536, data);
    EXPECT_EQ(read(5), Ack(Sum(data)));
    uint32_t at = kFlash + 0x20000;
    EXPECT_TRUE(handset().flashEquals(at, data.data(), static_cast<uint32_t>(data.size())));
    // The rest of the sector is erased, the neighbours untouched.
    std::vector<uint8_t> rest = handset().flashAt(at + uint32_t(data.size()), 100);
    EXPECT_EQ(rest, std::vector<uint8_t>(100, 0xFF));
    ASSERT_EQ(handset().recording().sectorWrites.size(), 1u);
    EXPECT_TRUE(handset().recording().sectorWrites[0].accepted);
    EXPECT_EQ(handset().recording().sectorWrites[0].count, data.size());
}

TEST_F(Sector, ChecksumArrivesLeastSignificantFirst) {
    start(runningConfig());
    std::vector<uint8_t> data{0xFF, 0xFF}; // 0x1FE
    sendSector(8192, kFlash, data);
    EXPECT_EQ(read(5), Ints({0xCC, 0xFE, 0x01, 0x00, 0x00}));
}

TEST_F(Sector, RewritingASectorErasesItFirst) {
    start(runningConfig());
    std::vector<uint8_t> first(8192, 0x0F);
    std::vector<uint8_t> second(8192, 0xF0);
    sendSector(8192, kFlash + 8192, first);
    read(5);
    sendSector(8192, kFlash + 8192, second);
    EXPECT_EQ(read(5), Ack(Sum(second)));
    EXPECT_TRUE(handset().flashEquals(kFlash + 8192, second.data(), 8192));
}

TEST_F(Sector, EmptySectorIsErasedAndAcknowledged) {
    start(runningConfig());
    std::vector<uint8_t> data(10, 0);
    sendSector(8192, kFlash, data);
    read(5);
    sendSector(8192, kFlash, {});
    EXPECT_EQ(read(5), Ack(0));
    EXPECT_EQ(handset().flashAt(kFlash, 10), std::vector<uint8_t>(10, 0xFF));
}

TEST_F(Sector, ProgrammingOutsideTheFlashIsRefused) {
    start(runningConfig());
    std::vector<uint8_t> data = Pattern(16, 1);
    sendSector(65536, kFlash + kFlashSize - 8192, data); // sector runs past the end
    EXPECT_EQ(read(2), Ints({0xCD, 0x02}));
    sendSector(8192, kFlash - 8192, data); // below the flash
    EXPECT_EQ(read(2), Ints({0xCD, 0x02}));
    sendSector(8, kFlash, data); // more bytes than the sector holds
    EXPECT_EQ(read(2), Ints({0xCD, 0x03}));
    EXPECT_EQ(handset().flashAt(kFlash, 16), std::vector<uint8_t>(16, 0xFF));
    for (const sim::SectorWrite& w : handset().recording().sectorWrites)
        EXPECT_FALSE(w.accepted);
    // The bootstrap still takes commands.
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
}

TEST_F(Sector, RejectionsAndBadChecksumsForChosenSectors) {
    sim::HandsetConfig config = runningConfig();
    config.faults.rejectSectors = {kFlash};
    config.faults.rejectTimes = 2;
    config.faults.rejectDetail = 0x07;
    config.faults.badChecksumSectors = {kFlash + 8192};
    start(config);
    std::vector<uint8_t> data = Pattern(8192, 9);
    sendSector(8192, kFlash, data);
    EXPECT_EQ(read(2), Ints({0xCD, 0x07}));
    sendSector(8192, kFlash, data);
    EXPECT_EQ(read(2), Ints({0xCD, 0x07}));
    EXPECT_EQ(handset().flashAt(kFlash, 4), std::vector<uint8_t>(4, 0xFF));
    sendSector(8192, kFlash, data);
    EXPECT_EQ(read(5), Ack(Sum(data)));
    sendSector(8192, kFlash + 8192, data);
    EXPECT_EQ(read(5), Ack(Sum(data) + 1));
    sendSector(8192, kFlash + 8192, data);
    EXPECT_EQ(read(5), Ack(Sum(data)));
    const auto& writes = handset().recording().sectorWrites;
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_FALSE(writes[3].accepted);
    EXPECT_TRUE(writes[4].accepted);
}

} // namespace

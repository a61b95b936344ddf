// The sector command: erase, program, checksum acknowledgement, refusals.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"
#include "sim/handset_engine.h"
#include "sim/sha256.h"

#include <string>

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

// What the handset wrote since its power-on: the stretches programmed, joined where they
// touch, and whether the flash holds exactly a set of images.
TEST_F(Sector, WhatWasWrittenSincePowerOn) {
    start(runningConfig());
    const std::vector<uint8_t> a = Pattern(8192, 1), b = Pattern(100, 2), c = Pattern(300, 3);
    sendSector(8192, kFlash + 8192, b); // rewritten by the next two
    read(5);
    sendSector(8192, kFlash, a);
    read(5);
    sendSector(8192, kFlash + 8192, b);
    read(5);
    sendSector(65536, kFlash + 0x20000, c);
    read(5);
    sendSector(8192, kFlash - 8192, c); // refused: nothing written
    read(2);
    const sim::FlashModel& flash = handset().impl().flash();
    EXPECT_EQ(flash.written(),
              (std::vector<sim::FlashRange>{{kFlash, 8192 + 100}, {kFlash + 0x20000, 300}}));

    std::vector<uint8_t> ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    const sim::PlacedImage images[] = {{kFlash, ab.data(), 8292},
                                       {kFlash + 0x20000, c.data(), 300}};
    EXPECT_TRUE(handset().flashHoldsOnly({images[0], images[1]}));
    EXPECT_FALSE(handset().flashHoldsOnly({images[0]})) << "a stretch written elsewhere";
    EXPECT_FALSE(handset().flashHoldsOnly({images[1], images[0]})) << "out of address order";
    EXPECT_FALSE(handset().flashHoldsOnly({{kFlash, a.data(), 8192}, images[1]}))
        << "less than written";
    const sim::PlacedImage shifted{kFlash + 0x20001, c.data(), 300};
    EXPECT_FALSE(handset().flashHoldsOnly({images[0], shifted}));

    // A power cycle starts a new account; the flash keeps its content.
    ComSetEscape(kPort, CLRDTR);
    ComSetEscape(kPort, SETDTR);
    EXPECT_TRUE(flash.written().empty());
    EXPECT_TRUE(handset().flashHoldsOnly({images[0], images[1]}));
}

// Digests of FIPS 180-4's examples and of a long stream handed over in uneven pieces.
TEST(Digest, Sha256KnownAnswers) {
    const auto of = [](const std::string& text) {
        return sim::Sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    EXPECT_EQ(of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    sim::Sha256 million;
    const std::string piece(1100, 'a');
    size_t left = 1000000;
    for (size_t n = 1; left > 0; n = n % 997 + 61) {
        const size_t take = std::min(n, left);
        million.add(reinterpret_cast<const uint8_t*>(piece.data()), take);
        left -= take;
    }
    EXPECT_EQ(million.hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace

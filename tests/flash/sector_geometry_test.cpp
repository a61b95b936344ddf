// Sector geometry queries on the description table.
#include "flash/dwl10fla.h"
#include "flash/dwl10sectormap.h"
#include "tests/flash/flash_lines.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace flashtest;

namespace {

constexpr uint8_t kMan = 137, kDev = 24;

// The global table holds the three-sector chip (8192, 8192, 65536) and a chip whose block
// failed before its sectors (ids 2, 2).
struct SectorGeometryTest : ::testing::Test {
    void SetUp() override {
        auto lines = join(smallBlock(kMan, kDev), smallBlock(2, 2));
        lines[lines.size() - 13 + kStartSectors] = "START_SECTOR";
        ASSERT_EQ(parseLines(lines, &vg_FlashDescritpion), 11);
        ASSERT_EQ(vg_FlashDescritpion.NbFlash, 2);
    }
    void TearDown() override { memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion); }
};

TEST_F(SectorGeometryTest, FirstSectorAtOrAfterOffset) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0}, {100, 1}, {8192, 1}, {16384, 2}, {16385, 3}, {81920, 3},
    };
    for (auto [offset, expected] : cases) {
        uint32_t sector = 999;
        EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(kMan, kDev, offset, &sector), 1) << offset;
        EXPECT_EQ(sector, expected) << offset;
    }
    uint32_t sector = 999;
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(kMan, kDev, 81921, &sector), 18);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(kMan, kDev, 0xFFFFFFFF, &sector), 18);
}

TEST_F(SectorGeometryTest, SectorStartingExactlyAtOffset) {
    uint32_t sector = 999;
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 0, &sector), 1);
    EXPECT_EQ(sector, 0u);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 16384, &sector), 1);
    EXPECT_EQ(sector, 2u);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 16385, &sector), 18);
    EXPECT_EQ(sector, 3u) << "the rounded-up number is left behind";
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 100, &sector), 18);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 81920, &sector), 1);
    EXPECT_EQ(sector, 3u);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(kMan, kDev, 90000, &sector), 18);
}

TEST_F(SectorGeometryTest, SectorLists) {
    SectorList list;
    memset(&list, 0xAB, sizeof list);
    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 8192, 9000, &list), 1);
    ASSERT_EQ(list.NbSectors, 2u);
    EXPECT_EQ(list.Sector[0], 1u);
    EXPECT_EQ(list.Sector[1], 2u);
    EXPECT_EQ(list.TotalSize, 73728u);

    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 8192, 80000, &list), 20);
    EXPECT_EQ(list.NbSectors, 2u);
    EXPECT_EQ(list.Sector[1], 2u);
    EXPECT_EQ(list.TotalSize, 0u);

    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 0, 1, &list), 1);
    EXPECT_EQ(list.NbSectors, 1u);
    EXPECT_EQ(list.Sector[0], 0u);
    EXPECT_EQ(list.TotalSize, 8192u);

    // An offset inside a sector starts the list at the next boundary.
    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 100, 8192, &list), 1);
    EXPECT_EQ(list.Sector[0], 1u);

    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 81920, 0, &list), 1);
    EXPECT_EQ(list.NbSectors, 0u);
    EXPECT_EQ(list.TotalSize, 0u);
    EXPECT_EQ(dwl10_3GetSectorList(kMan, kDev, 81920, 1, &list), 20);
    EXPECT_EQ(list.NbSectors, 0u);
    EXPECT_EQ(dwl10_3GetSectorList(kMan, kDev, 81921, 1, &list), 18);
    ASSERT_EQ(dwl10_3GetSectorList(kMan, kDev, 0, 81920, &list), 1);
    EXPECT_EQ(list.NbSectors, 3u);
    EXPECT_EQ(list.TotalSize, 81920u);
}

TEST_F(SectorGeometryTest, SizeBankCountAndFlashSize) {
    uint32_t value = 7;
    EXPECT_EQ(dwl10_1GetNumberOfSector(kMan, kDev, &value), 1);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(dwl10_0GetSectorSize(kMan, kDev, 2, &value), 1);
    EXPECT_EQ(value, 65536u);
    value = 7;
    EXPECT_EQ(dwl10_0GetSectorSize(kMan, kDev, 3, &value), 19);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(dwl10_5GetFlashSize(kMan, kDev, &value), 1);
    EXPECT_EQ(value, 81920u);

    uint8_t bank = 9;
    EXPECT_EQ(dwl10_4GetSectorBank(kMan, kDev, 2, &bank), 1);
    EXPECT_EQ(bank, 1);
    EXPECT_EQ(dwl10_4GetSectorBank(kMan, kDev, 0, &bank), 1);
    EXPECT_EQ(bank, 0);
    bank = 9;
    EXPECT_EQ(dwl10_4GetSectorBank(kMan, kDev, 3, &bank), 19);
    EXPECT_EQ(dwl10_4GetSectorBank(kMan, kDev, 65535, &bank), 19);
    EXPECT_EQ(bank, 9);
}

TEST_F(SectorGeometryTest, Names) {
    char manufacturer[15], device[15];
    memset(manufacturer, 'x', sizeof manufacturer);
    memset(device, 'x', sizeof device);
    EXPECT_EQ(dwl10_6GetManufacturerAndFlashName(kMan, kDev, manufacturer, device), 1);
    EXPECT_STREQ(manufacturer, "INTEL");
    EXPECT_STREQ(device, "SMALL");
}

TEST_F(SectorGeometryTest, UnknownChipLeavesOutputsAlone) {
    uint32_t value = 7;
    uint8_t bank = 9;
    char a[15] = "keep", b[15] = "keep";
    EXPECT_EQ(dwl10_1GetNumberOfSector(1, 1, &value), 15);
    EXPECT_EQ(dwl10_0GetSectorSize(1, 1, 0, &value), 15);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(1, 1, 0, &value), 15);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(1, 1, 0, &value), 15);
    EXPECT_EQ(dwl10_4GetSectorBank(1, 1, 0, &bank), 15);
    EXPECT_EQ(dwl10_6GetManufacturerAndFlashName(1, 1, a, b), 15);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(bank, 9);
    EXPECT_STREQ(a, "keep");
    // These two clear their outputs before the lookup.
    EXPECT_EQ(dwl10_5GetFlashSize(1, 1, &value), 15);
    EXPECT_EQ(value, 0u);
    SectorList list;
    list.NbSectors = 5;
    list.TotalSize = 5;
    EXPECT_EQ(dwl10_3GetSectorList(1, 1, 0, 10, &list), 15);
    EXPECT_EQ(list.NbSectors, 0u);
    EXPECT_EQ(list.TotalSize, 0u);
}

TEST_F(SectorGeometryTest, DescriptionWithoutSectors) {
    uint32_t value = 7;
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(2, 2, 0, &value), 1);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(2, 2, 1, &value), 18);
    SectorList list;
    EXPECT_EQ(dwl10_3GetSectorList(2, 2, 0, 1, &list), 20);
    EXPECT_EQ(dwl10_3GetSectorList(2, 2, 0, 0, &list), 1);
    EXPECT_EQ(dwl10_5GetFlashSize(2, 2, &value), 1);
    EXPECT_EQ(value, 0u);
}

// A table not filled by the parser (a caller's own) with a count beyond the sector table:
// the queries never look past it.
TEST_F(SectorGeometryTest, CountBeyondTheTableIsNeverFollowed) {
    FlashDescription& flash = vg_FlashDescritpion.Flash[0];
    flash.NbSectors = 100000;
    for (uint32_t s = 0; s < DWL_MAX_SECTORS; s++)
        flash.Sector[s].Size = 1;
    uint32_t value = 0;
    EXPECT_EQ(dwl10_1GetNumberOfSector(kMan, kDev, &value), 1);
    EXPECT_EQ(value, DWL_MAX_SECTORS);
    EXPECT_EQ(dwl10_0GetSectorSize(kMan, kDev, 300, &value), 19);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(kMan, kDev, 301, &value), 18);
    SectorList list;
    EXPECT_EQ(dwl10_3GetSectorList(kMan, kDev, 0, 301, &list), 20);
    EXPECT_EQ(list.NbSectors, DWL_MAX_SECTORS);
    EXPECT_EQ(dwl10_5GetFlashSize(kMan, kDev, &value), 1);
    EXPECT_EQ(value, 300u);
}

// Sizes that add up beyond 32 bits do not wrap round in the walk.
TEST_F(SectorGeometryTest, HugeSectorsDoNotWrap) {
    ASSERT_EQ(
        parseLines(flashBlock("A", "B", 5, 5, 3, {"0-1*-1*0", "2*16*0"}), &vg_FlashDescritpion), 1);
    uint32_t sector = 0;
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(5, 5, 0xFFFFFFFF, &sector), 1);
    EXPECT_EQ(sector, 1u);
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr(5, 5, 0xFFFFFFF0, &sector), 1);
    EXPECT_EQ(sector, 1u);
    SectorList list;
    EXPECT_EQ(dwl10_3GetSectorList(5, 5, 1, 10, &list), 1);
    EXPECT_EQ(list.Sector[0], 1u);
}

// A chip whose description holds a sector size no flash has gets neither its sector count nor a
// sector size, so every run that walks its sectors stops (21); the other chips answer.
TEST_F(SectorGeometryTest, ASectorSizeNoFlashHasRefusesThatChipOnly) {
    ASSERT_EQ(parseLines(join(flashBlock("A", "B", 5, 5, 2, {"0-1*6553*0"}), smallBlock(6, 6)),
                         &vg_FlashDescritpion),
              1);
    uint32_t value = 0;
    EXPECT_EQ(dwl10_1GetNumberOfSector(5, 5, &value), 21);
    EXPECT_EQ(dwl10_0GetSectorSize(5, 5, 0, &value), 21);
    char text[100] = "";
    EXPECT_EQ(dwl10_8CheckSectorSizes(5, 5, text, sizeof text), 21);
    EXPECT_STREQ(text, "FLASH DESCRIPTION : line 10 of flash.txt: sector size 6553 is not a power "
                       "of two");
    EXPECT_EQ(dwl10_81SetSectorMapFlash(5, 5), 21);
    EXPECT_EQ(sg_SectorMap.NbSectors, 0u);
    EXPECT_EQ(dwl10_1GetNumberOfSector(6, 6, &value), 1);
    EXPECT_EQ(dwl10_8CheckSectorSizes(6, 6, nullptr, 0), 1);
    EXPECT_EQ(dwl10_8CheckSectorSizes(7, 7, nullptr, 0), 15);
    dwl10_80ResetSectorMap();
}

TEST(SampleFlashDescriptions, DefaultHandsetChipAndImageOffsets) {
    std::string path = testsupport::sourceDir() + "/examples/flash.txt";
    ASSERT_EQ(dwl10_101InitFlashDescriptionFrom(path.c_str()), 1);
    ASSERT_GE(vg_FlashDescritpion.NbFlash, 5);
    const FlashDescription& first = vg_FlashDescritpion.Flash[0];
    EXPECT_EQ(first.FlashSize, 16u * 1024 * 1024);
    EXPECT_GT(first.NbBanks, 1);
    uint8_t m = first.ManufacturerId, d = first.DeviceId;
    uint32_t sector = 0;
    EXPECT_EQ(dwl10_2GetSectorNumberWithStartAddr_ogm(m, d, 0xE00000, &sector), 1);
    SectorList list;
    EXPECT_EQ(dwl10_3GetSectorList(m, d, 0xE00000, 102401, &list), 1);
    EXPECT_EQ(dwl10_3GetSectorList(m, d, 0, 300000, &list), 1);
    bool topBoot = false, bottomBoot = false;
    for (int i = 0; i < vg_FlashDescritpion.NbFlash; i++) {
        const FlashDescription& f = vg_FlashDescritpion.Flash[i];
        EXPECT_EQ(f.FlashSize % (1024 * 1024), 0u) << f.DeviceName;
        if (f.Sector[0].Size < f.Sector[f.NbSectors / 2].Size) bottomBoot = true;
        if (f.Sector[f.NbSectors - 1].Size < f.Sector[f.NbSectors / 2].Size) topBoot = true;
    }
    EXPECT_TRUE(topBoot);
    EXPECT_TRUE(bottomBoot);
    memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
}

// A sector tried again and again: its count of tries stops at 255 rather than wrapping to 0;
// the next chip replaces the map whole.
TEST_F(SectorGeometryTest, SectorMapTriesStopAt255AndTheMapFollowsTheChip) {
    ASSERT_EQ(dwl10_81SetSectorMapFlash(kMan, kDev), 1);
    for (int i = 0; i < 300; ++i)
        dwl10_83SectorTry(0x02002000u, 8192);
    const SectorRecord* s = dwl10_86FindSector(0x02002000u);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Tries, 255);
    EXPECT_EQ(s->State, SECTOR_WRITING);
    // An undescribed chip after it leaves no sector of the one before on the map.
    EXPECT_EQ(dwl10_81SetSectorMapFlash(1, 1), 15);
    EXPECT_EQ(sg_SectorMap.NbSectors, 0u);
    EXPECT_EQ(dwl10_86FindSector(0x02002000u), nullptr);
    dwl10_80ResetSectorMap();
}

} // namespace

// Reading flash description text: the block format, its codes, and text that breaks the format.
#include "flash/dwl10fla.h"
#include "flash/dwl10text.h"
#include "tests/flash/flash_lines.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace flashtest;

namespace {

struct FlashDescriptionTest : ::testing::Test {
    std::unique_ptr<FlashDescriptionTable> table = std::make_unique<FlashDescriptionTable>();
    int parse(const std::vector<std::string>& lines) { return parseLines(lines, table.get()); }
    int parseRaw(const std::string& text) { return parseText(text, table.get()); }
    const FlashDescription& flash(int i) const { return table->Flash[i]; }
};

TEST_F(FlashDescriptionTest, CommentsAndEmptyLinesAroundTwoBlocks) {
    auto lines = join({"# two chips", ""}, smallBlock(137, 24));
    lines.push_back("");
    lines.push_back("# the second");
    lines = join(lines, flashBlock("AMD", "AM29DL323DB", 1, 83, 4, {"0-3*4096*1"}));
    ASSERT_EQ(parse(lines), 1);
    ASSERT_EQ(table->NbFlash, 2);
    EXPECT_STREQ(flash(0).ManufacturerName, "INTEL");
    EXPECT_STREQ(flash(0).DeviceName, "SMALL");
    EXPECT_EQ(flash(0).ManufacturerId, 137);
    EXPECT_EQ(flash(0).DeviceId, 24);
    EXPECT_EQ(flash(0).NbBanks, 2);
    EXPECT_EQ(flash(0).NbSectors, 3u);
    EXPECT_EQ(flash(0).Sector[1].Size, 8192u);
    EXPECT_EQ(flash(0).Sector[2].Size, 65536u);
    EXPECT_EQ(flash(0).Sector[2].Bank, 1);
    EXPECT_EQ(flash(0).FlashSize, 81920u);
    EXPECT_STREQ(flash(1).DeviceName, "AM29DL323DB");
    EXPECT_EQ(flash(1).FlashSize, 16384u);
    EXPECT_EQ(flash(1).Sector[3].Bank, 1);
}

TEST_F(FlashDescriptionTest, EmptyOrCommentOnlyTextHasNoDescription) {
    EXPECT_EQ(parseRaw(""), 1);
    EXPECT_EQ(table->NbFlash, 0);
    EXPECT_EQ(parse({"# nothing", "", "#"}), 1);
    EXPECT_EQ(table->NbFlash, 0);
    EXPECT_EQ(parseRaw("# the last line has no line end"), 1);
    // A comment line as long as you like is skipped whole.
    EXPECT_EQ(parse(join({"#" + std::string(10000, 'x')}, smallBlock())), 1);
    EXPECT_EQ(table->NbFlash, 1);
}

// Each line of the block replaced by something else gives the code of that line.
TEST_F(FlashDescriptionTest, EachMissingLineGivesItsCode) {
    const std::vector<std::pair<int, int>> lineAndCode = {
        {kNewFlash, 3}, {kManufacturerName, 4}, {kDeviceName, 5},
        {kProduct, 6},  {kManufacturerId, 7},   {kDeviceId, 8},
        {kNbBanks, 9},  {kNbSectors, 10},       {kStartSectors, 11},
    };
    for (auto [line, code] : lineAndCode) {
        auto lines = smallBlock();
        lines[line] = "SOMETHING_ELSE : 1";
        EXPECT_EQ(parse(lines), code) << "line " << line;
    }
    auto lines = smallBlock();
    lines.back() = "END_FLAS";
    EXPECT_EQ(parse(lines), 12);
}

TEST_F(FlashDescriptionTest, CommentInsideBlockGivesCodeOfExpectedLine) {
    auto lines = smallBlock();
    lines.insert(lines.begin() + kManufacturerName, "# comment");
    EXPECT_EQ(parse(lines), 4);
    lines = smallBlock();
    lines.insert(lines.begin() + kProduct, "# comment");
    EXPECT_EQ(parse(lines), 6);
    lines = smallBlock();
    lines.insert(lines.begin() + kNbSectors, "");
    EXPECT_EQ(parse(lines), 10);
}

TEST_F(FlashDescriptionTest, BlankBehindLoneKeywordShiftsTheParser) {
    auto lines = smallBlock();
    lines[kNewFlash] = "NEW_FLASH ";
    EXPECT_EQ(parse(lines), 4);
    lines = smallBlock();
    lines.back() = "END_FLASH ";
    EXPECT_EQ(parse(lines), 3) << "the LF left behind does not start a block";
}

TEST_F(FlashDescriptionTest, IdentificationBytesAreDecimalLowBytes) {
    auto lines = smallBlock();
    lines[kManufacturerId] = "MANUFACTURER_ID : 0x89";
    lines[kDeviceId] = "DEVICE_ID : 280"; // 256 + 24
    ASSERT_EQ(parse(lines), 1);
    EXPECT_EQ(flash(0).ManufacturerId, 0);
    EXPECT_EQ(flash(0).DeviceId, 24);
    lines[kManufacturerId] = "MANUFACTURER_ID :    137 chips";
    lines[kNbBanks] = "NB_BANKS : 258";
    ASSERT_EQ(parse(lines), 1);
    EXPECT_EQ(flash(0).ManufacturerId, 137);
    EXPECT_EQ(flash(0).NbBanks, 2);
}

TEST_F(FlashDescriptionTest, SectorCountLimit) {
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 300, {"0-299*4096*0"})), 1);
    EXPECT_EQ(flash(0).NbSectors, 300u);
    EXPECT_EQ(flash(0).FlashSize, 300u * 4096u);
    for (const char* count : {"301", "-1", "4000000000"}) {
        auto lines = smallBlock();
        lines[kNbSectors] = std::string("NB_SECTORS : ") + count;
        EXPECT_EQ(parse(lines), 17) << count;
        // The refused count is not kept: no query can walk past the sector table.
        EXPECT_EQ(table->NbFlash, 1);
        EXPECT_EQ(flash(0).NbSectors, 0u) << count;
        EXPECT_EQ(flash(0).ManufacturerId, 137);
    }
}

TEST_F(FlashDescriptionTest, SectorNumbersAgainstTheCount) {
    EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 10, {"10*4096*0"})), 13);
    EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 10, {"0-10*4096*0"})), 14);
    EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 0, {"0*4096*0"})), 13);
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 10, {"0-9*4096*3"})), 1);
    EXPECT_EQ(flash(0).FlashSize, 10u * 4096u);
    EXPECT_EQ(flash(0).Sector[9].Bank, 3);
    // Numbers beyond 65535 are taken modulo 65536 first.
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 10, {"0-9*1*0", "65537*500*0", "65536-65538*7*1"})),
              1);
    EXPECT_EQ(flash(0).Sector[0].Size, 7u);
    EXPECT_EQ(flash(0).Sector[1].Size, 7u);
    EXPECT_EQ(flash(0).Sector[2].Size, 7u);
    EXPECT_EQ(flash(0).Sector[3].Size, 1u);
}

TEST_F(FlashDescriptionTest, SectorLinesInAnyOrderLaterWins) {
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 6,
                               {"4-5*100*2", "0-5*8192*0", "5-2*1*9", "3*64*1", "1*32*1"})),
              1);
    const uint32_t sizes[6] = {8192, 32, 8192, 64, 8192, 8192};
    for (int s = 0; s < 6; s++)
        EXPECT_EQ(flash(0).Sector[s].Size, sizes[s]) << s;
    EXPECT_EQ(flash(0).Sector[3].Bank, 1);
    EXPECT_EQ(flash(0).Sector[5].Bank, 0) << "a backwards run changes nothing";
}

TEST_F(FlashDescriptionTest, UnnamedSectorsStayEmpty) {
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 4, {"1*4096*1"})), 1);
    EXPECT_EQ(flash(0).Sector[0].Size, 0u);
    EXPECT_EQ(flash(0).Sector[3].Size, 0u);
    EXPECT_EQ(flash(0).FlashSize, 4096u);
}

// The parse keeps the first sector line of a block whose size no flash has, with its line in the
// file; the block reads as before.
TEST_F(FlashDescriptionTest, FirstSectorSizeNoFlashHasIsKeptWithItsLine) {
    const auto second = flashBlock("A", "B", 2, 2, 4, {"0-1*8192*0", "2*6553*0", "3*0*0"});
    ASSERT_EQ(parse(join(join(smallBlock(1, 1), {"# comment"}), second)), 1);
    EXPECT_EQ(flash(0).BadSizeLine, 0u);
    // 13 lines of the first block and the comment: the second block's line i is line 15 + i.
    EXPECT_EQ(flash(1).BadSizeLine, 15u + kFirstSectorLine + 1);
    EXPECT_EQ(flash(1).BadSize, 6553u);
    EXPECT_EQ(flash(1).Sector[2].Size, 6553u);
    for (uint32_t size : {1u, 4096u, 8192u, 65536u, 0x80000000u})
        EXPECT_TRUE(dwl10_7SectorSizeExists(size)) << size;
    for (uint32_t size : {0u, 3u, 6553u, 65535u, 65537u, 0xFFFFFFFFu})
        EXPECT_FALSE(dwl10_7SectorSizeExists(size)) << size;
}

TEST_F(FlashDescriptionTest, TwentyFirstBlockIsRefused) {
    std::vector<std::string> lines;
    for (int i = 0; i < 21; i++)
        lines = join(lines, smallBlock(1, i));
    EXPECT_EQ(parse(lines), 16);
    EXPECT_EQ(table->NbFlash, 20);
    EXPECT_EQ(flash(19).DeviceId, 19);
    EXPECT_EQ(flash(19).FlashSize, 81920u);
}

TEST_F(FlashDescriptionTest, BlockFailingHalfWayKeepsWhatWasRead) {
    auto lines = join(smallBlock(1, 1), smallBlock(2, 2));
    lines[lines.size() - 13 + kNbSectors] = "NB_SECTOR : 3";
    EXPECT_EQ(parse(lines), 10);
    ASSERT_EQ(table->NbFlash, 2);
    EXPECT_EQ(flash(0).FlashSize, 81920u);
    EXPECT_STREQ(flash(1).DeviceName, "SMALL");
    EXPECT_EQ(flash(1).DeviceId, 2);
    EXPECT_EQ(flash(1).NbSectors, 0u);
    EXPECT_EQ(flash(1).FlashSize, 0u);
}

// The family prefix of the product line is not checked.
TEST_F(FlashDescriptionTest, ProductLineAcceptsAnyFamilyPrefix) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"BASEBAND_PRODUCT : PCF5087", 1},
        {"PCF5087_PRODUCT : anything at all", 1},
        {"GSM_2_PRODUCT : ", 1},
        {"_PRODUCT : x", 1},
        {"baseband_PRODUCT : x", 6},
        {"BASEBAND_PRODUCTS : x", 6},
        {"BASEBAND_PRODUCT: x", 6},
        {"BASEBAND-PRODUCT : x", 6},
        {"PRODUCT : x", 6},
        {" BASEBAND_PRODUCT : x", 6},
        {"BASEBAND_PRODUCT :", 6},
    };
    for (const auto& [line, code] : cases) {
        auto lines = smallBlock();
        lines[kProduct] = line;
        EXPECT_EQ(parse(lines), code) << line;
    }
}

TEST_F(FlashDescriptionTest, NamesUpToFourteenCharacters) {
    auto lines = smallBlock();
    lines[kManufacturerName] = "MANUFACTURER_NAME :  Intel Corp ";
    lines[kDeviceName] = "DEVICE_NAME : 12345678901234";
    ASSERT_EQ(parse(lines), 1);
    EXPECT_STREQ(flash(0).ManufacturerName, " Intel Corp ");
    EXPECT_STREQ(flash(0).DeviceName, "12345678901234");
    lines[kDeviceName] = "DEVICE_NAME : 123456789012345";
    EXPECT_EQ(parse(lines), 5);
    lines = smallBlock();
    lines[kManufacturerName] = "MANUFACTURER_NAME : " + std::string(10000, 'M');
    EXPECT_EQ(parse(lines), 4);
}

TEST_F(FlashDescriptionTest, SectorLineLength) {
    // 40 characters with the CR are the most a sector line holds.
    std::string line39 = "0-2*" + std::string(32, '0') + "8*1";
    ASSERT_EQ(line39.size(), 39u);
    ASSERT_EQ(parse(flashBlock("A", "B", 1, 2, 3, {line39})), 1);
    EXPECT_EQ(flash(0).Sector[2].Size, 8u);
    EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 3, {"0" + line39})), 13);
    EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 3, {std::string(10000, '1')})), 13);
}

TEST_F(FlashDescriptionTest, MalformedSectorLines) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"", 13},         {"12", 13},      {"0*4096", 13},   {"0-2", 14},
        {"0-2*4096", 13}, {"1*4096*0", 1}, {"0-2*4096*", 1}, {"x*4096*1", 1},
    };
    for (const auto& [line, code] : cases) {
        EXPECT_EQ(parse(flashBlock("A", "B", 1, 2, 3, {line})), code) << "'" << line << "'";
    }
}

TEST_F(FlashDescriptionTest, TextWithoutCarriageReturns) {
    std::string text;
    for (const auto& line : smallBlock())
        text += line + "\n";
    EXPECT_EQ(parseRaw(text), 4);
    // CR LF everywhere but one sector line.
    auto crlf = testsupport::crlfText(smallBlock());
    size_t at = crlf.find("2*65536*1\r\n");
    crlf.erase(at + 9, 1);
    EXPECT_EQ(parseRaw(crlf), 13);
    // A CR not followed by LF: the parser steps over the CR and the next byte.
    crlf = testsupport::crlfText(smallBlock());
    at = crlf.find("MANUFACTURER_ID : 137\r\n");
    crlf.erase(at + 22, 1);
    EXPECT_EQ(parseRaw(crlf), 8);
    // A value line without its CR: the CR of a later line does not end it.
    for (const char* keyword : {"BASEBAND_PRODUCT : PCF5087", "MANUFACTURER_ID : 137"}) {
        crlf = testsupport::crlfText(smallBlock());
        const std::string line = std::string(keyword) + "\r\n";
        crlf.erase(crlf.find(line) + line.size() - 2, 1);
        EXPECT_EQ(parseRaw(crlf), keyword[0] == 'B' ? 6 : 7) << keyword;
    }
}

// atoi where long is 32 bits: beyond the range the value stays at the limit.
TEST_F(FlashDescriptionTest, NumbersReadLikeAtoi) {
    const std::pair<const char*, int32_t> samples[] = {
        {"0", 0},
        {"137", 137},
        {"  42", 42},
        {"+7", 7},
        {"-1", -1},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"\t\v\f 13", 13},
        {"- 5", 0},
        {"0x1F", 0},
        {"2147483646", 2147483646},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483647", -2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"4294967295", 2147483647},
        {"4294967296", 2147483647},
        {"4294967297", 2147483647},
        {"-4294967297", INT32_MIN},
        {"9999999999999999999999", 2147483647},
        {"000000000000000000000000000042", 42},
    };
    for (auto [text, expected] : samples)
        EXPECT_EQ(dwl10_14DecimalValue((const uint8_t*)text, (uint32_t)strlen(text)), expected)
            << text;
}

// Numbers have no length limit in flash.txt; large ones stay at the limit and meet the checks.
TEST_F(FlashDescriptionTest, NumbersOfAnyLengthAndSize) {
    struct Case {
        int line;
        std::string text;
        int code;
    };
    const Case cases[] = {
        {kNbBanks, "NB_BANKS : 1 (one bank, uniform)", 1},
        {kNbBanks, "NB_BANKS : " + std::string(25, ' ') + "1", 1},
        {kManufacturerId, "MANUFACTURER_ID : 99999999999999999999", 1},
        {kNbSectors, "NB_SECTORS : " + std::string(10000, '9'), 17},
        {kNbSectors, "NB_SECTORS : 4294967299", 17},
        {kNbSectors, "NB_SECTORS : 4294967306", 17},
        {kNbSectors, "NB_SECTORS : 2147483648", 17},
        {kNbSectors, "NB_SECTORS : -4294967293", 17},
    };
    for (const Case& c : cases) {
        auto lines = smallBlock();
        lines[c.line] = c.text;
        EXPECT_EQ(parse(lines), c.code) << c.text;
    }
    auto lines = smallBlock();
    lines[kNbBanks] = "NB_BANKS : 1 (one bank, uniform)";
    ASSERT_EQ(parse(lines), 1);
    EXPECT_EQ(flash(0).NbBanks, 1);
    lines[kManufacturerId] = "MANUFACTURER_ID : 4294967433"; // 2^32 + 137: the limit's low byte
    ASSERT_EQ(parse(lines), 1);
    EXPECT_EQ(flash(0).ManufacturerId, 0xFF);
    // A sector line's numbers: 2^32 + 1 is no sector 1.
    lines = smallBlock();
    lines.insert(lines.begin() + kStartSectors + 1, "4294967297*4096*0");
    EXPECT_EQ(parse(lines), 13);
}

TEST_F(FlashDescriptionTest, NulBytesStayInsideTheBuffers) {
    std::string text = testsupport::crlfText(smallBlock());
    std::string withNul = text;
    withNul[withNul.find("SMALL") + 2] = '\0';
    ASSERT_EQ(parseRaw(withNul), 1);
    EXPECT_EQ(std::memcmp(flash(0).DeviceName, "SM\0LL", 6), 0);
    withNul = text;
    withNul[withNul.find("0-1*8192*0") + 1] = '\0';
    EXPECT_EQ(parseRaw(withNul), 1) << "the first number ends at the NUL, the '*' separates";
    EXPECT_EQ(flash(0).Sector[0].Size, 8192u);
    EXPECT_EQ(parseRaw(std::string(5000, '\0')), 3);
    withNul = text;
    withNul[withNul.find("\r\nDEVICE_NAME")] = '\0';
    EXPECT_EQ(parseRaw(withNul), 4);
}

// Every prefix of a valid file: a code, never a read beyond the data (the sanitizer build checks
// the bounds), and success only once the last END_FLASH is there.
TEST_F(FlashDescriptionTest, TruncatedAnywhere) {
    std::string text = testsupport::crlfText(
        join(join({"# x"}, smallBlock(1, 1)), flashBlock("A", "B", 2, 2, 5, {"0-4*4096*0"})));
    size_t firstEnd = text.find("END_FLASH");
    size_t lastEnd = text.rfind("END_FLASH");
    for (size_t n = 0; n <= text.size(); n++) {
        int code = parseRaw(text.substr(0, n));
        bool complete = n >= lastEnd + 9 || (n >= firstEnd + 9 && n <= firstEnd + 11);
        if (complete) {
            EXPECT_EQ(code, 1) << n;
        } else if (n > 5) {
            EXPECT_GE(code, 3) << n;
            EXPECT_LE(code, 14) << n;
        }
    }
}

TEST_F(FlashDescriptionTest, FileEndingInsideTheSectorLines) {
    auto lines = smallBlock();
    lines.pop_back();
    lines.pop_back();
    EXPECT_EQ(parse(lines), 12);
    lines.push_back("END_SECTOR_DESCRIPTION");
    EXPECT_EQ(parse(lines), 12);
}

TEST_F(FlashDescriptionTest, CallersTableIsSeparateFromTheGlobal) {
    vg_FlashDescritpion.NbFlash = 0;
    ASSERT_EQ(parse(smallBlock()), 1);
    EXPECT_EQ(vg_FlashDescritpion.NbFlash, 0);
}

TEST(FlashDescriptionFile, ReadFromTheWorkingDirectory) {
    testsupport::TempDir dir;
    testsupport::WorkingDirectory cwd(dir.path());
    vg_FlashDescritpion.NbFlash = 3;
    EXPECT_EQ(dwl10_100InitFlashDescription(), 2);
    EXPECT_EQ(vg_FlashDescritpion.NbFlash, 0);
    testsupport::writeCrLfFile(dir.file("flash.txt"), join(smallBlock(1, 1), smallBlock(2, 2)));
    EXPECT_EQ(dwl10_100InitFlashDescription(), 1);
    EXPECT_EQ(vg_FlashDescritpion.NbFlash, 2);
    testsupport::writeBytes(dir.file("flash.txt"), std::string());
    EXPECT_EQ(dwl10_100InitFlashDescription(), 1);
    EXPECT_EQ(vg_FlashDescritpion.NbFlash, 0);
    EXPECT_EQ(dwl10_101InitFlashDescriptionFrom(dir.file("missing.txt").c_str()), 2);
    EXPECT_EQ(dwl10_101InitFlashDescriptionFrom(dir.path().c_str()), 2) << "a folder";
}

TEST(FlashDescriptionFile, LookupFindsTheFirstMatchingBlock) {
    auto lines = join(join(smallBlock(1, 1), flashBlock("X", "FIRST", 137, 24, 1, {"0*1*0"})),
                      flashBlock("X", "SECOND", 137, 24, 1, {"0*2*0"}));
    ASSERT_EQ(parseLines(lines, &vg_FlashDescritpion), 1);
    uint8_t index = 99;
    EXPECT_EQ(dwl10_500GetFlashIndex(137, 24, &index), 1);
    EXPECT_EQ(index, 1);
    index = 99;
    EXPECT_EQ(dwl10_500GetFlashIndex(24, 137, &index), 15);
    EXPECT_EQ(dwl10_500GetFlashIndex(137, 1, &index), 15);
    EXPECT_EQ(index, 99);
    vg_FlashDescritpion.NbFlash = 0;
    EXPECT_EQ(dwl10_500GetFlashIndex(1, 1, &index), 15);
}

} // namespace

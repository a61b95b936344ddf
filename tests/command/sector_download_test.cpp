// Sector download against a scripted bootstrap: command framing, pieces, checksums, retries,
// time-out and the refusals before anything is sent.
#include "tests/command/xfer_fixture.h"

#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using xfer::Sum;

std::vector<uint8_t> Command(uint32_t sectorSize, uint32_t address, uint32_t n) {
    std::vector<uint8_t> c = {0xEA};
    for (uint32_t v : {sectorSize, address, n})
        for (int s = 24; s >= 0; s -= 8)
            c.push_back(static_cast<uint8_t>(v >> s));
    return c;
}

std::vector<uint8_t> Done(uint32_t checksum) {
    return {0xCC, static_cast<uint8_t>(checksum), static_cast<uint8_t>(checksum >> 8),
            static_cast<uint8_t>(checksum >> 16), static_cast<uint8_t>(checksum >> 24)};
}

class SectorDownload : public ::testing::Test {
  protected:
    SectorDownload() : panel(dir) {
        xfer::DescribeFlash();
        dwl12_0UartInit(1, 460800, 0, 10);
        opened = line.writes().size();
    }
    ResultRecord download(const std::vector<uint8_t>& image, uint32_t start = DWL_FLASH_BASE) {
        return dwl11_54Download(xfer::BootstrapContext(), static_cast<uint32_t>(image.size()),
                                image.data(), start);
    }
    // Every write after the port was opened.
    std::vector<std::vector<uint8_t>> writes() const {
        return {line.writes().begin() + static_cast<long>(opened), line.writes().end()};
    }
    testsupport::ScriptedLine line;
    xfer::TempDir dir;
    xfer::Panel panel;
    size_t opened = 0;
};

TEST_F(SectorDownload, FramesSectorsAndCutsPiecesOf8192) {
    // 70000 bytes starting in the first 64 KB sector (at 0x00010000 of the flash).
    auto image = xfer::Pattern(70000);
    line.reply(Done(Sum(image.data(), 65536)));
    line.reply(Done(Sum(image.data() + 65536, 70000 - 65536)));
    ResultRecord r = download(image, DWL_FLASH_BASE + 0x00010000);
    EXPECT_EQ(r.family, 0);

    auto w = writes();
    ASSERT_EQ(w.size(), 1u + 8u + 1u + 1u);
    EXPECT_EQ(w[0], (std::vector<uint8_t>{0xEA, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00,
                                          0x00, 0x01, 0x00, 0x00}));
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(w[i].size(), 8192u);
    // The empty remainder of the first sector is not a write of its own.
    EXPECT_EQ(w[9], (std::vector<uint8_t>{0xEA, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00,
                                          0x00, 0x00, 0x11, 0x70}));
    EXPECT_EQ(w[10], std::vector<uint8_t>(image.begin() + 65536, image.end()));
    EXPECT_EQ(mv_SoftPourcent, 100);
}

TEST_F(SectorDownload, LastSectorCarriesFullSizeAndRemainingCount) {
    auto image = xfer::Pattern(8192 + 100);
    line.reply(Done(Sum(image.data(), 8192)));
    line.reply(Done(Sum(image.data() + 8192, 100)));
    EXPECT_EQ(download(image).family, 0);
    auto w = writes();
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0], Command(8192, DWL_FLASH_BASE, 8192));
    EXPECT_EQ(w[2], Command(8192, DWL_FLASH_BASE + 8192, 100));
    EXPECT_EQ(w[3].size(), 100u);
}

TEST_F(SectorDownload, ChecksumArrivesLeastSignificantByteFirst) {
    std::vector<uint8_t> image = {0xFF, 0xFF}; // sums to 0x1FE
    line.reply({0xCC, 0xFE, 0x01, 0x00, 0x00});
    EXPECT_EQ(download(image).family, 0);
    EXPECT_EQ(line.pending(), 0u);
}

TEST_F(SectorDownload, OneSectorImageShowsFullProgress) {
    auto image = xfer::Pattern(8192);
    mv_SoftPourcent = 0;
    line.reply(Done(Sum(image.data(), image.size())));
    EXPECT_EQ(download(image).family, 0);
    EXPECT_EQ(mv_SoftPourcent, 100);
    EXPECT_EQ(panel.intValue(PANEL_PROGRESS_BAR), 100);
    EXPECT_EQ(panel.intValue(PANEL_PROGRESS_TEXT), 100);
}

TEST_F(SectorDownload, ProgressFollowsSectorsAndAddressAdvancesByFullSize) {
    auto image = xfer::Pattern(3 * 8192);
    for (int i = 0; i < 3; ++i)
        line.reply(Done(Sum(image.data() + i * 8192, 8192)));
    EXPECT_EQ(download(image).family, 0);
    auto w = writes();
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[4], Command(8192, DWL_FLASH_BASE + 2 * 8192, 8192));
}

TEST_F(SectorDownload, SilenceAfterTheDataIsATimeOut) {
    auto image = xfer::Pattern(100);
    const double before = line.now();
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 13);
    EXPECT_EQ(r.code, 0);
    EXPECT_GE(line.now() - before, 10.0);
    EXPECT_LT(line.now() - before, 12.0);
}

// The wait for an acknowledgement runs on the clock of durations: the calendar set back or
// forward by an hour in the middle of it neither ends it at once nor early.
TEST_F(SectorDownload, CalendarSetBackOrForwardDuringTheWaitLeavesTheSectorWritten) {
    auto image = xfer::Pattern(100);
    for (double setBy : {-3600.0, 3600.0}) {
        SCOPED_TRACE(setBy);
        double firstPoll = -1;
        bool set = false;
        line.whilePolling([&](testsupport::ScriptedLine& l) {
            if (firstPoll < 0) firstPoll = l.now();
            if (!set && l.now() - firstPoll >= 2.0) {
                l.setWallClockBy(setBy);
                set = true;
            }
            // The bootstrap answers after 6 seconds of the wait.
            if (l.now() - firstPoll >= 6.0 && l.pending() == 0)
                l.reply(Done(Sum(image.data(), image.size())));
        });
        const double before = line.now();
        ResultRecord r = download(image);
        line.whilePolling(nullptr);
        EXPECT_TRUE(set);
        EXPECT_EQ(r.family, 0);
        EXPECT_GE(line.now() - before, 6.0);
        EXPECT_EQ(line.pending(), 0u);
    }
}

TEST_F(SectorDownload, EmptyImageSendsNothing) {
    EXPECT_EQ(dwl11_54Download(xfer::BootstrapContext(), 0, nullptr, DWL_FLASH_BASE).family, 0);
    EXPECT_TRUE(writes().empty());
}

TEST_F(SectorDownload, RefusesWhatCannotBeWrittenBeforeSendingAnything) {
    auto image = xfer::Pattern(100);
    // Inside a sector, before the flash, past its end, longer than the flash, unknown chip.
    ResultRecord inside = download(image, DWL_FLASH_BASE + 100);
    EXPECT_EQ(inside.family, 2);
    EXPECT_EQ(inside.code, 18);
    ResultRecord below = download(image, 0x01FFFFFFu);
    EXPECT_EQ(below.family, 2);
    EXPECT_EQ(below.code, 18);
    ResultRecord beyond = download(image, DWL_FLASH_BASE + xfer::kFlashSize + xfer::kLarge);
    EXPECT_EQ(beyond.family, 2);
    EXPECT_EQ(beyond.code, 18);
    line.reply(Done(Sum(image.data(), image.size())));
    ResultRecord last = download(image, DWL_FLASH_BASE + xfer::kFlashSize - xfer::kLarge);
    EXPECT_EQ(last.family, 0) << "the last sector takes it";
    std::vector<uint8_t> big(2 * xfer::kLarge);
    ResultRecord over =
        dwl11_54Download(xfer::BootstrapContext(), static_cast<uint32_t>(big.size()), big.data(),
                         DWL_FLASH_BASE + xfer::kFlashSize - xfer::kLarge);
    EXPECT_EQ(over.family, 2);
    EXPECT_EQ(over.code, 20);
    DownloadContext unknown = xfer::BootstrapContext();
    unknown.FlashDeviceId = 0x77;
    ResultRecord u = dwl11_54Download(unknown, 100, image.data(), DWL_FLASH_BASE);
    EXPECT_EQ(u.family, 2);
    EXPECT_EQ(u.code, 15);
    ResultRecord null = dwl11_54Download(xfer::BootstrapContext(), 100, nullptr, DWL_FLASH_BASE);
    EXPECT_NE(null.family, 0);
    // Only the one sector that fitted went out.
    auto w = writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], Command(xfer::kLarge, DWL_FLASH_BASE + xfer::kFlashSize - xfer::kLarge, 100));
}

TEST_F(SectorDownload, RejectedSectorIsResentAtTheSameAddressAndThenPasses) {
    auto image = xfer::Pattern(8192 + 10);
    line.reply({0xCD, 0x07});
    line.reply(Done(Sum(image.data(), 8192)));
    line.reply({0xCD, 0x07});
    line.reply(Done(Sum(image.data() + 8192, 10)));
    EXPECT_EQ(download(image).family, 0);
    auto w = writes();
    ASSERT_EQ(w.size(), 8u);
    EXPECT_EQ(w[0], w[2]);
    EXPECT_EQ(w[1], w[3]);
    EXPECT_EQ(w[4], w[6]);
    EXPECT_EQ(w[5], w[7]);
}

TEST_F(SectorDownload, BadChecksumIsResentAndThenPasses) {
    auto image = xfer::Pattern(500);
    const uint32_t sum = Sum(image.data(), image.size());
    line.reply(Done(sum + 1));
    line.reply(Done(sum));
    EXPECT_EQ(download(image).family, 0);
    EXPECT_EQ(writes().size(), 4u);
}

TEST_F(SectorDownload, ThreeRejectionsOfOneSectorEndWithTheDetail) {
    auto image = xfer::Pattern(500);
    for (int i = 0; i < 3; ++i)
        line.reply({0xCD, 0x42});
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 10);
    EXPECT_EQ(r.code, 0x42);
    EXPECT_EQ(writes().size(), 6u);
}

TEST_F(SectorDownload, ThreeBadChecksumsOfOneSectorEndWith204) {
    auto image = xfer::Pattern(500);
    for (int i = 0; i < 3; ++i)
        line.reply(Done(0xDEADBEEF));
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 12);
    EXPECT_EQ(r.code, 204);
}

TEST_F(SectorDownload, MixedFailuresCountTogether) {
    auto image = xfer::Pattern(500);
    line.reply({0xCD, 0x01});
    line.reply(Done(1));
    line.reply(Done(2));
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 12);
    EXPECT_EQ(r.code, 204);
}

TEST_F(SectorDownload, FiveFailuresOverTheWholeImageEndIt) {
    // Two failures on each of sectors 0 and 1 pass; the first failure on sector 2 is the fifth.
    auto image = xfer::Pattern(3 * 8192);
    for (int s = 0; s < 2; ++s) {
        const uint32_t sum = Sum(image.data() + s * 8192, 8192);
        line.reply({0xCD, 0x09});
        line.reply(Done(sum ^ 1));
        line.reply(Done(sum));
    }
    line.reply({0xCD, 0x09});
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 10);
    EXPECT_EQ(r.code, 9);
}

TEST_F(SectorDownload, FourFailuresOverTheWholeImageAreSurvived) {
    auto image = xfer::Pattern(3 * 8192);
    for (int s = 0; s < 2; ++s) {
        line.reply({0xCD, 0x09});
        line.reply({0xCD, 0x09});
        line.reply(Done(Sum(image.data() + s * 8192, 8192)));
    }
    line.reply(Done(Sum(image.data() + 2 * 8192, 8192)));
    EXPECT_EQ(download(image).family, 0);
}

TEST_F(SectorDownload, UnknownAcknowledgeEndsWithThatByte) {
    auto image = xfer::Pattern(500);
    line.reply({0x55});
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 11);
    EXPECT_EQ(r.code, 0x55);
}

TEST_F(SectorDownload, ChecksumCutShortIsNotTakenAsGood) {
    // Bytes summing to 0x000000FE: a lone first checksum byte would match if the rest were
    // taken as zero.
    std::vector<uint8_t> image = {0x7F, 0x7F};
    line.reply({0xCC, 0xFE});
    ResultRecord r = download(image);
    EXPECT_NE(r.family, 0);
}

TEST_F(SectorDownload, RejectionDetailMissingReadsAsTimeOutByte) {
    auto image = xfer::Pattern(10);
    line.reply({0xCD, 0x01});
    line.reply({0xCD, 0x01});
    line.reply({0xCD});
    ResultRecord r = download(image);
    EXPECT_EQ(r.family, 10);
    EXPECT_EQ(r.code, 0x9D);
}

} // namespace

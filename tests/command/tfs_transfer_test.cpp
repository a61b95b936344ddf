// TFS image transfer against a scripted bootstrap: the messages on the line, their replies,
// every failure row, progress and the log.
#include "tests/command/xfer_fixture.h"

#include "command/dwl11command.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Ack(uint8_t third) {
    return {0x00, 0x00, third};
}
Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

class TfsTransfer : public ::testing::Test {
  protected:
    TfsTransfer() : panel(dir) {
        dwl12_0UartInit(1, 460800, 0, 10);
        opened = line.writes().size();
    }
    ~TfsTransfer() override { dwl10_203FreeTFSDescription(); }

    // Queues the replies of a handset that accepts everything of the current description.
    void replyAll(uint32_t checksumDelta = 0) {
        const TfsDescription& d = vg_TFSDescritpion;
        line.reply({0x77});
        line.reply(Ack(0x72));
        line.reply(Ack(0x6F));
        for (int i = 0; i < d.NbDir; ++i)
            line.reply(Ack(0x73));
        for (uint32_t f = 0; f < d.NbFiles; ++f) {
            line.reply(Ack(0x7D));
            uint32_t size = d.Files[f].FileSize;
            uint32_t blocks = size == 0 ? 1 : (size + 8191) / 8192;
            for (uint32_t b = 0; b < blocks; ++b)
                line.reply(Ack(0x7E));
            line.reply(Ack(0x7F));
        }
        line.reply(Ack(0x7A));
        line.reply(Le32(xfer::Sum(image.data(), d.TotalSize) + checksumDelta));
    }
    ResultRecord transfer() {
        return dwl11_54Download_TFS_ogm(xfer::BootstrapContext(),
                                        static_cast<uint32_t>(image.size()), image.data(),
                                        DWL_FLASH_BASE, 0);
    }
    std::vector<Bytes> writes() const {
        return {line.writes().begin() + static_cast<long>(opened), line.writes().end()};
    }
    void describe(const std::vector<std::string>& dirs, const std::vector<xfer::TfsFileDef>& f,
                  const std::string& version = "V1.0") {
        xfer::DescribeTfs(version, dirs, f);
        image = xfer::Pattern(vg_TFSDescritpion.TotalSize, 7);
    }

    testsupport::ScriptedLine line;
    xfer::TempDir dir;
    xfer::Panel panel;
    Bytes image;
    size_t opened = 0;
};

TEST_F(TfsTransfer, WholeConversationOnTheLine) {
    describe({"/a", "/a/b"}, {{"a", 300}, {"/a/b/c.dat", 20000}});
    replyAll();
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(line.pending(), 0u);

    auto w = writes();
    ASSERT_EQ(w.size(), 1u + 1 + 1 + 2 + 1 + (1 + 1) + (1 + 3) + 1);
    EXPECT_EQ(w[0], Bytes{0x44});
    Bytes version(16, 0);
    std::memcpy(version.data(), "V1.0", 4);
    EXPECT_EQ(w[1], version);
    EXPECT_EQ(w[2], (Bytes{0x00, 0x00, 0x00, 0x02}));
    ASSERT_EQ(w[3].size(), 512u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(w[3].data())), "/a");
    EXPECT_EQ(w[3][3], 0xFF);
    EXPECT_EQ(w[5], (Bytes{0x76, 0x00, 0x00, 0x00, 0x02}));
    // Header of a 300-byte file with a one-letter name.
    Bytes header = {'a', 0x00};
    header.insert(header.end(), 510, 0xFF);
    header.insert(header.end(), {0x00, 0x00, 0x01, 0x2C});
    EXPECT_EQ(w[6], header);
    EXPECT_EQ(w[7], Bytes(image.begin(), image.begin() + 300));
    EXPECT_EQ(w[9].size(), 8192u);
    EXPECT_EQ(w[10].size(), 8192u);
    EXPECT_EQ(w[11].size(), 20000u - 16384u);
    EXPECT_EQ(w[12], Bytes{0x79});

    EXPECT_EQ(panel.find("Starting TFS OGM Downloading.."), 0);
    EXPECT_EQ(panel.find("TFS OK"), 1);
    EXPECT_EQ(panel.find("Recieved PATHDATA ACK!"), 2);
    EXPECT_EQ(panel.find("/a O.K."), 3);
    EXPECT_EQ(panel.find("/a/b O.K."), 4);
    EXPECT_EQ(panel.find("a O.K."), 5);
    EXPECT_EQ(panel.find("/a/b/c.dat O.K."), 6);
    EXPECT_EQ(panel.find("Finished TFS OGM Downloading.."), 7);
    EXPECT_EQ(panel.lines.size(), 8u);
}

TEST_F(TfsTransfer, BlocksAreCutAt8192) {
    describe({"/d"}, {{"f8192", 8192}, {"f8193", 8193}, {"f16384", 16384}, {"empty", 0}});
    replyAll();
    EXPECT_EQ(transfer().family, 0);
    std::vector<size_t> sizes;
    for (const auto& w : writes())
        sizes.push_back(w.size());
    // start, version, count, dir, file count, then per file header and blocks, then the end.
    std::vector<size_t> expected = {1,    16, 4,   512,  5,    516, 8192, 516,
                                    8192, 1,  516, 8192, 8192, 516, 1};
    EXPECT_EQ(sizes, expected);
    EXPECT_TRUE(panel.logged("empty O.K."));
}

TEST_F(TfsTransfer, ProgressIsHalfAfterTheFirstOfTwoEqualFiles) {
    describe({"/d"}, {{"one", 8192}, {"two", 8192}});
    replyAll();
    std::vector<int> atHeaders;
    line.setResponder([&](const Bytes& written, testsupport::ScriptedLine&) {
        if (written.size() == 516) atHeaders.push_back(mv_SoftPourcent);
    });
    mv_SoftPourcent = -1;
    EXPECT_EQ(transfer().family, 0);
    ASSERT_EQ(atHeaders.size(), 2u);
    EXPECT_EQ(atHeaders[1], 50);
    EXPECT_EQ(mv_SoftPourcent, 100);
    EXPECT_EQ(panel.intValue(PANEL_PROGRESS_BAR), 100);
    EXPECT_EQ(panel.intValue(PANEL_PROGRESS_TEXT), 100);
}

TEST_F(TfsTransfer, OnlyEmptyFilesNeedNoImageAndDivideByNothing) {
    describe({"/d"}, {{"e1", 0}, {"e2", 0}});
    replyAll();
    ResultRecord r =
        dwl11_54Download_TFS_ogm(xfer::BootstrapContext(), 0, nullptr, DWL_FLASH_BASE, 0);
    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(mv_SoftPourcent, 100);
}

TEST_F(TfsTransfer, ChecksumOneHigherFails) {
    describe({"/d"}, {{"f", 1000}});
    replyAll(1);
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 12);
    EXPECT_EQ(static_cast<uint32_t>(r.code), xfer::Sum(image.data(), 1000) + 1);
    EXPECT_FALSE(panel.logged("Finished TFS OGM Downloading.."));
}

TEST_F(TfsTransfer, ChecksumCutShortFails) {
    describe({"/d"}, {{"f", 1}}); // a sum below 256: its first byte alone would look right
    line.reply({0x77});
    for (uint8_t third : {0x72, 0x6F, 0x73, 0x7D, 0x7E, 0x7F, 0x7A})
        line.reply(Ack(third));
    line.reply({image[0]});
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 12);
    EXPECT_FALSE(panel.logged("Finished TFS OGM Downloading.."));
}

TEST_F(TfsTransfer, MountAndSetDriveErrors) {
    describe({"/d"}, {{"f", 10}});
    line.reply({0xA1, 0x05});
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 19);
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(panel.logged("TFS Mount Error"));
    EXPECT_TRUE(panel.logged("Mount ERR: 5"));

    line.reply({0xA5, 0x07});
    r = transfer();
    EXPECT_EQ(r.family, 19);
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(panel.logged("TFS Set Drv Error"));
    EXPECT_TRUE(panel.logged("SetDrv ERR: 7"));

    line.reply({0xA1}); // error number missing
    r = transfer();
    EXPECT_EQ(r.code, 0x9D);
    EXPECT_EQ(writes().size(), 3u) << "nothing but the three starts was sent";
}

TEST_F(TfsTransfer, NoOrWrongStartReply) {
    describe({"/d"}, {{"f", 10}});
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 19);
    EXPECT_EQ(r.code, 157);
    EXPECT_TRUE(panel.logged("UnknowAck"));
    line.reply({0x12});
    r = transfer();
    EXPECT_EQ(r.family, 19);
    EXPECT_EQ(r.code, 0x12);
}

TEST_F(TfsTransfer, OnlyTheThirdAcknowledgeByteCounts) {
    describe({"/d"}, {{"f", 10}});
    line.reply({0x77, 0x72, 0x00, 0x00});
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 23);
    EXPECT_EQ(r.code, 0);
    ASSERT_EQ(panel.lines.size(), 4u);
    EXPECT_EQ(panel.lines[0], " Starting TFS OGM Downloading.. ");
    EXPECT_EQ(panel.lines[1], " TFS OK ");
    EXPECT_EQ(panel.lines[2], std::string(" ") + GetRS232ErrorString(0) + " ");
    EXPECT_EQ(panel.lines[3], " Failed NBPATH ACK! ");
}

struct FailureRow {
    const char* name;
    int failAt; // index of the acknowledgement (in reply order) that goes wrong
    int family;
    int code;
    const char* line;
};

// Description of the failure rows: dirs /x and /y, files of 10, 9000 and 5 bytes.
// Acknowledgements in order: 0 version, 1 dir count, 2-3 dirs, 4 header f0, 5 data f0,
// 6 closed f0, 7 header f1, 8-9 data f1, 10 closed f1, 11 header f2, 12 data f2, 13 closed f2,
// 14 end.
class TfsFailureRows : public TfsTransfer, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(TfsFailureRows, WrongAcknowledgeEndsWithItsFamilyAndCode) {
    const FailureRow& row = GetParam();
    describe({"/x", "/y"}, {{"f0", 10}, {"f1", 9000}, {"f2", 5}});
    const uint8_t thirds[] = {0x72, 0x6F, 0x73, 0x73, 0x7D, 0x7E, 0x7F, 0x7D,
                              0x7E, 0x7E, 0x7F, 0x7D, 0x7E, 0x7F, 0x7A};
    line.reply({0x77});
    for (int i = 0; i < row.failAt; ++i)
        line.reply(Ack(thirds[i]));
    line.reply({thirds[row.failAt], 0x00}); // the expected byte comes too early; then silence
    const size_t before = writes().size();
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, row.family);
    EXPECT_EQ(r.code, row.code);
    ASSERT_GE(panel.lines.size(), 2u);
    EXPECT_EQ(panel.lines.back(), std::string(" ") + row.line + " ");
    const bool withText = row.family != 29;
    EXPECT_EQ(panel.lines[panel.lines.size() - 2] ==
                  std::string(" ") + GetRS232ErrorString(-99) + " ",
              withText);
    // Nothing is sent after the failed message.
    auto w = writes();
    ASSERT_GT(w.size(), before);
    if (row.family == 29) {
        EXPECT_EQ(w.back(), Bytes{0x79});
    }
    EXPECT_FALSE(panel.logged("Finished TFS OGM Downloading.."));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TfsFailureRows,
    ::testing::Values(FailureRow{"version", 0, 23, -99, "Failed NBPATH ACK!"},
                      FailureRow{"dircount", 1, 22, -99, "Failed NB PATHDATA ACK!"},
                      FailureRow{"dir1", 3, 24, 65536 - 99, "Failed PATHDATA ACK!"},
                      FailureRow{"header0", 4, 31, -99, "Failed CREATEFILE ACK!"},
                      FailureRow{"data1b", 9, 32, 65536 - 99, "Failed TFSDATA ACK!"},
                      FailureRow{"data2", 12, 32, 2 * 65536 - 99, "Failed TFSDATA ACK!"},
                      FailureRow{"closed1", 10, 33, 65536 - 99, "Failed CLOSEFILE ACK!"},
                      FailureRow{"end", 14, 29, -99, "Failed ENDFILE ACK!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TfsTransfer, VersionFieldIsSixteenBytes) {
    describe({"/d"}, {{"f", 1}}, "ABCDEFGHIJKLMNOPQRS");
    replyAll();
    EXPECT_EQ(transfer().family, 0);
    auto w = writes();
    EXPECT_EQ(w[1], Bytes(reinterpret_cast<const uint8_t*>("ABCDEFGHIJKLMNOP"),
                          reinterpret_cast<const uint8_t*>("ABCDEFGHIJKLMNOP") + 16));
}

TEST_F(TfsTransfer, LongNamesGiveBoundedLogLines) {
    std::string longest(512, 'n');
    longest[511] = 'Z';
    std::string dirName(511, 'd');
    const std::string fits = "/" + std::string(91, 'e'); // the longest name logged whole
    const std::string cut = fits + "x";                  // one more: its end behind "..."
    describe({dirName, fits, cut}, {{longest, 3}});
    replyAll();
    EXPECT_EQ(transfer().family, 0);
    EXPECT_TRUE(panel.logged(fits + " O.K."));
    EXPECT_TRUE(panel.logged("..." + cut.substr(cut.size() - 89) + " O.K."));
    int fileLine = -1;
    for (size_t i = 0; i < panel.lines.size(); ++i) {
        EXPECT_LT(panel.lines[i].size(), 100u);
        if (panel.lines[i].find("Z O.K.") != std::string::npos) fileLine = static_cast<int>(i);
    }
    ASSERT_GE(fileLine, 0) << "the end of the name is kept";
    EXPECT_EQ(panel.lines[fileLine].rfind(" ...", 0), 0u);
    // The whole field went to the handset, without a NUL.
    auto w = writes();
    ASSERT_EQ(w[7].size(), 516u);
    EXPECT_EQ(Bytes(w[7].begin(), w[7].begin() + 512), Bytes(longest.begin(), longest.end()));
}

TEST_F(TfsTransfer, RefusesAnImageShorterThanTheDescription) {
    describe({"/d"}, {{"f", 1000}});
    image.resize(999);
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 18);
    EXPECT_TRUE(writes().empty());
    r = dwl11_54Download_TFS_ogm(xfer::BootstrapContext(), 1000, nullptr, DWL_FLASH_BASE, 0);
    EXPECT_EQ(r.family, 18);
    EXPECT_TRUE(writes().empty());
}

// A description read again whose table could not be had keeps the count of the one before
// and no table: nothing is sent from it.
TEST_F(TfsTransfer, RefusesADescriptionWithoutItsTables) {
    for (int table = 0; table < 2; table++) {
        describe({"/d"}, {{"f", 10}});
        TfsDescription& d = vg_TFSDescritpion;
        if (table == 0) {
            free(d.DirNames);
            d.DirNames = nullptr;
        } else {
            free(d.Files);
            d.Files = nullptr;
        }
        EXPECT_EQ(transfer().family, 18) << table;
        EXPECT_TRUE(writes().empty()) << table;
    }
}

TEST_F(TfsTransfer, RefusesSizesThatWrapAround) {
    describe({"/d"}, {{"f", 0x80000000u}, {"g", 0x80000000u}});
    EXPECT_EQ(vg_TFSDescritpion.TotalSize, 0u);
    image.assign(16, 0);
    ResultRecord r = transfer();
    EXPECT_EQ(r.family, 18);
    EXPECT_TRUE(writes().empty());
}

TEST_F(TfsTransfer, PaddedImageIsAccepted) {
    describe({"/d"}, {{"odd", 999}});
    image.push_back(0xAA); // held images of odd size carry one spare byte
    vg_TFSDescritpion.TotalSize = 999;
    replyAll();
    EXPECT_EQ(transfer().family, 0);
}

} // namespace

// The boot sequence against a scripted handset: exact frames, every failure code, time spent.
#include "boot/dwl1boot.h"
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "link/serial_device.h"
#include "tests/support/handset_programs.h"
#include "tests/support/scripted_line.h"
#include "uis/dwl_oplog.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

Bytes AddressFrame(uint32_t a) {
    return {0x00, 0x03, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
}

Bytes UploadFrames(const Bytes& image) {
    Bytes out = AddressFrame(0);
    uint32_t last = static_cast<uint32_t>(image.size() - 1);
    Append(out, {uint8_t(0x40 | (last >> 8)), uint8_t(last & 0xFF)});
    Append(out, image);
    Append(out, AddressFrame(0));
    Append(out, {0x60, 0x00});
    return out;
}

const Bytes kRunningBootstrap = {0x44, 0xA0, 0x12, 0x34};

class BootSequence : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(files.ok()); }
    double elapsed() { return line.now() - start; }

    bootsupport::HandsetPrograms files;
    testsupport::ScriptedLine line;
    DownloadContext ctx = dwl_DefaultContext();
    double start = line.now();
};

TEST_F(BootSequence, ProductOneSendsTheDocumentedFramesAndIdentifiesTheFlash) {
    Bytes image = files.writeBootstrap(4000);
    ASSERT_EQ(image.size(), 4001u);
    ctx.ProductType = 1;
    const uint8_t waits[4] = {0, 1, 0, 2};
    std::copy(waits, waits + 4, ctx.WaitState);
    line.reply({0xBE});
    line.reply(kRunningBootstrap);
    line.reply({0xC2, 0x89, 0x18});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(r.code, 0);
    Bytes expected = {0x44, 0xC6, 0x80, 0xCE, 0x01, 0xD7, 0x00, 0xD7, 0x82};
    Append(expected, UploadFrames(image));
    EXPECT_EQ(line.written(), expected);
    ASSERT_EQ(line.openedNames.size(), 1u);
    EXPECT_EQ(line.openedNames[0], "COM4");
    ASSERT_EQ(line.settings().size(), 1u);
    EXPECT_EQ(line.settings()[0].baud, 38400);
    EXPECT_EQ(line.settings()[0].parity, 2);
    EXPECT_EQ(line.settings()[0].timeout, 5.0);
    // Dropped by the opening, raised for the wake-up, dropped after the answer.
    EXPECT_EQ(line.dtrChanges(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(ctx.BootAck, 0xBE);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x89);
    EXPECT_EQ(ctx.FlashDeviceId, 0x18);
    EXPECT_EQ(line.closes, 0) << "the port stays open for the caller";
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(BootSequence, ProductTwoConfiguresChipSelectsAndTheSetupWord) {
    Bytes image = files.writeBootstrap(100);
    ctx.ProductType = 2;
    const uint8_t waits[4] = {1, 2, 3, 4};
    std::copy(waits, waits + 4, ctx.WaitState);
    line.reply({0xBE});
    line.reply(kRunningBootstrap);
    line.reply({0xC2, 0x01, 0x22});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 0);
    Bytes expected = {0x44, 0xC7, 0x01, 0xD6, 0x02, 0xC7, 0x83, 0x87, 0xC4};
    Append(expected, {0x00, 0x03, 0xFF, 0xFF, 0x80, 0x03, 0x40, 0x00, 0x70});
    Append(expected, UploadFrames(image));
    EXPECT_EQ(line.written(), expected);
}

TEST_F(BootSequence, WaitStatesAreTakenModuloEight) {
    Bytes image = files.writeBootstrap(10);
    ctx.ProductType = 1;
    const uint8_t waits[4] = {9, 0xFF, 8, 7};
    std::copy(waits, waits + 4, ctx.WaitState);
    line.reply({0xBE});

    dwl1_0boot(&ctx);

    Bytes expected = {0x44, 0xC6, 0x81, 0xCE, 0x07, 0xD7, 0x00, 0xD7, 0x87};
    ASSERT_GE(line.written().size(), expected.size());
    EXPECT_EQ(Bytes(line.written().begin(), line.written().begin() + 9), expected);
}

TEST_F(BootSequence, SilentHandsetTimesOutAfterFiveSeconds) {
    files.writeBootstrap(100);

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(ctx.BootAck, 0x9D);
    EXPECT_EQ(line.written(), Bytes{0x44}) << "the answer goes out, nothing is uploaded";
    EXPECT_EQ(line.dtrChanges(), (std::vector<bool>{false, true, false}));
    EXPECT_DOUBLE_EQ(elapsed(), 5.0);
    EXPECT_STREQ(ma_Comment, " BOOT : no answer from the boot loader ");
}

TEST_F(BootSequence, BytesBeforeTheWakeUpAreSkippedWithoutTimeLimit) {
    files.writeBootstrap(100);
    line.reply(Bytes(5000, 0x00));
    line.reply({0x9C, 0xBF, 0xBE});
    line.reply(kRunningBootstrap);
    line.reply({0xC2, 0x20, 0xE3});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(ctx.BootAck, 0xBE);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x20);
    EXPECT_EQ(ctx.FlashDeviceId, 0xE3);
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(BootSequence, MissingHelloPacksTheReadCountAndTheLastByte) {
    files.writeBootstrap(100);
    line.reply({0xBE, 0x11, 0x22});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 0x000A029D);
    EXPECT_DOUBLE_EQ(elapsed(), 5.0);
    EXPECT_STREQ(ma_Comment, " BOOT : the bootstrap did not answer (0x9D) ");
}

TEST_F(BootSequence, SilenceAfterTheUploadReadsTwice) {
    files.writeBootstrap(100);
    line.reply({0xBE});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 0x000A019D);
    EXPECT_DOUBLE_EQ(elapsed(), 10.0);
}

TEST_F(BootSequence, BytesBeforeTheHelloAreSkipped) {
    files.writeBootstrap(100);
    line.reply({0xBE, 0x00, 0x13, 0xBE});
    line.reply(kRunningBootstrap);
    line.reply({0xC2, 0xB0, 0x42});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(ctx.FlashManufacturerId, 0xB0);
    EXPECT_EQ(ctx.FlashDeviceId, 0x42);
    EXPECT_STREQ(ma_Comment, " Flash manufacturer 0xB0, device 0x42 ");
}

TEST_F(BootSequence, EndlessChatterAfterTheUploadEndsWithAFullCount) {
    files.writeBootstrap(100);
    line.reply({0xBE});
    line.reply(Bytes(100000, 0x11));

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 0x000AFF11);
    EXPECT_STREQ(ma_Comment, " BOOT : the bootstrap did not answer (0x11) ");
    EXPECT_EQ(line.pending(), 100000u - 256u);
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(BootSequence, ByteAfterTheHelloMustSayTheBootstrapRuns) {
    files.writeBootstrap(100);
    line.reply({0xBE, 0x44, 0xA1, 0x00, 0x00, 0xC2, 0x89, 0x18});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 11);
    EXPECT_STREQ(ma_Comment, " BOOT : the bootstrap does not run (0xA1) ");
}

TEST_F(BootSequence, IdentificationFailuresComeBackAsBootCodes) {
    files.writeBootstrap(100);
    struct Case {
        Bytes ident;
        int32_t code;
        const char* log;
    } cases[] = {
        {{0xC3, 0x89, 0x18}, 12, " BOOT : bad flash identification header (0xC3) "},
        {{0xC2}, 13, " BOOT : no flash manufacturer code "},
        {{0xC2, 0x1F, 0x18}, 15, " BOOT : unknown flash manufacturer 0x1F "},
        {{}, 12, " BOOT : bad flash identification header (0x9D) "},
    };
    for (const Case& c : cases) {
        testsupport::ScriptedLine own;
        own.reply({0xBE});
        own.reply(kRunningBootstrap);
        own.reply(c.ident);
        DownloadContext context = dwl_DefaultContext();
        ResultRecord r = dwl1_0boot(&context);
        EXPECT_EQ(r.family, 6);
        EXPECT_EQ(r.code, c.code);
        EXPECT_STREQ(ma_Comment, c.log);
    }
}

TEST_F(BootSequence, LargestImageThatFitsGoesInOneFrame) {
    Bytes image = files.writeBootstrap(8191);
    ASSERT_EQ(image.size(), 8192u);
    line.reply({0xBE});

    dwl1_0boot(&ctx);

    // 0x44, eight chip-select bytes, product 2's address and data frames, then the upload.
    const size_t at = 1 + 8 + 9 + 6;
    ASSERT_GT(line.written().size(), at + 2);
    EXPECT_EQ(line.written()[at], 0x5F);
    EXPECT_EQ(line.written()[at + 1], 0xFF);
    EXPECT_EQ(line.written().size(), at + 2 + 8192 + 6 + 2);
}

// The frames carry any address and length the boot loader takes, not only those the boot uses
// (0 and 0xFFFF8003, whose two top bytes are alike): every byte in its place, high first.
TEST_F(BootSequence, FramesCarryEveryByteOfTheAddressAndTheLength) {
    ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
    dwl1_50SetStartAddr(4, 0x12345678u);
    const Bytes block(0x1235, 0xA5); // its header holds 0x1234
    dwl1_51DownloadBlock(4, block.data(), static_cast<uint32_t>(block.size()));
    Bytes expected = {0x00, 0x03, 0x12, 0x34, 0x56, 0x78, 0x52, 0x34};
    Append(expected, block);
    EXPECT_EQ(line.written(), expected);
    dwl12_1UartStop(4);
}

TEST_F(BootSequence, ImageTooLongForTheDataFrameIsRefusedBeforeAnythingIsSent) {
    files.writeBootstrap(8192);
    line.reply({0xBE});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(line.written().empty());
    EXPECT_EQ(line.dtrChanges(), std::vector<bool>{false}) << "DTR never raised";
    EXPECT_STREQ(ma_Comment, " BOOT : bootstrap of 8193 bytes, at most 8192 fit in the upload ");
}

TEST_F(BootSequence, PortThatCannotBeOpenedKeepsItsErrorNumber) {
    files.writeBootstrap(100);
    line.failOpenWith(-3);

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 5);
    EXPECT_EQ(r.code, -3);
    EXPECT_TRUE(line.written().empty());
    // The log names the device and the reason.
    EXPECT_EQ(std::string(ma_Comment),
              " BOOT : cannot open COM4 " + dwl_ComDevicePath(4) + ": Port is not open (-3) ");
}

TEST_F(BootSequence, MissingOrUnsuitableBootstrapIsAPcLibraryFailure) {
    line.reply({0xBE});
    ResultRecord r = dwl1_0boot(&ctx);
    EXPECT_EQ(r.family, 5);
    EXPECT_EQ(r.code, 3);
    // The last log line says which file was looked for where, and why it did not open.
    EXPECT_EQ(std::string(ma_Comment),
              " dwl87.spm: No such file or directory, looked for in " + files.dir() + " ");

    files.writeBootstrap(65535);
    r = dwl1_0boot(&ctx);
    EXPECT_EQ(r.family, 5);
    EXPECT_EQ(r.code, 4);

    ctx.ProductType = 0;
    r = dwl1_0boot(&ctx);
    EXPECT_EQ(r.family, 5);
    EXPECT_EQ(r.code, 3);
    EXPECT_STREQ(ma_Comment, " no handset program for product type 0 ");
    EXPECT_TRUE(line.written().empty());
}

TEST_F(BootSequence, ProductWithoutChipSelectConfigurationSendsNoFrame) {
    files.writeExtension(100);
    ctx.ProductType = 255; // loads dwl88.spm, but has no chip-select table
    line.reply({0xBE});

    ResultRecord r = dwl1_0boot(&ctx);

    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(line.written(), Bytes{0x44});
    EXPECT_STREQ(ma_Comment, " BOOT : no chip select configuration for this product ");
}

// A port whose reads fail with an error other than the time-out, at once.
class FailingDevice : public SerialDevice {
  public:
    int configure(long, int, int, int) override { return 0; }
    void setTimeout(double) override {}
    void setDtr(bool) override {}
    void flushIn() override {}
    void flushOut() override {}
    int write(const uint8_t*, int count) override { return count; }
    int outQueueLength() override { return 0; }
    int inQueueLength() override { return 0; }
    int readByte() override { return kRS_UnknownIOError; }
    int read(uint8_t*, int) override { return 0; }
};

TEST(BootOnBrokenPort, ReadErrorsEndTheWaitsLikeATimeOut) {
    bootsupport::HandsetPrograms files;
    ASSERT_TRUE(files.ok());
    files.writeBootstrap(100);
    rs232_SetOpener([](int, const char*, int*) { return std::make_unique<FailingDevice>(); });
    DownloadContext ctx = dwl_DefaultContext();

    ResultRecord r = dwl1_0boot(&ctx);

    rs232_SetOpener(nullptr);
    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.code, 4);
}

} // namespace

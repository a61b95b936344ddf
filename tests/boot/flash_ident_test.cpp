// Flash identification: which bytes are read for each manufacturer code.
#include "boot/dwl1boot.h"
#include "link/dwl12pclib.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

class FlashIdent : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1); }
    // Runs the identification on `answer`, followed by one marker byte that must stay unread
    // unless the table says otherwise.
    int identify(Bytes answer) {
        answer.push_back(0x5A);
        line.reply(answer);
        return dwl1_3GetTypeFlash(&ctx);
    }
    testsupport::ScriptedLine line;
    DownloadContext ctx = dwl_DefaultContext();
};

TEST_F(FlashIdent, ExtraByteIsConsumedForTheTwoLargeDevices) {
    EXPECT_EQ(identify({0xC2, 0x01, 0xE3, 0x77}), 1);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x01);
    EXPECT_EQ(ctx.FlashDeviceId, 0xE3);
    EXPECT_EQ(line.pending(), 1u);
}

TEST_F(FlashIdent, ExtraByteFollowsBothManufacturersAndBothDevices) {
    const uint8_t manufacturers[] = {0x01, 0xEC};
    const uint8_t devices[] = {0xE3, 0xE4};
    for (uint8_t m : manufacturers) {
        for (uint8_t d : devices) {
            testsupport::ScriptedLine own;
            ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1);
            own.reply({0xC2, m, d, 0x00, 0x5A});
            EXPECT_EQ(dwl1_3GetTypeFlash(&ctx), 1);
            EXPECT_EQ(own.pending(), 1u) << std::hex << int(m) << " " << int(d);
        }
    }
}

TEST_F(FlashIdent, OtherDevicesOfTheSameMakerHaveNoExtraByte) {
    EXPECT_EQ(identify({0xC2, 0x01, 0x22}), 1);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x01);
    EXPECT_EQ(ctx.FlashDeviceId, 0x22);
    EXPECT_EQ(line.pending(), 1u);
}

TEST_F(FlashIdent, EveryKnownManufacturerReadsItsDeviceCode) {
    const uint8_t known[] = {0x89, 0xB0, 0x04, 0x07, 0x20, 0x98};
    for (uint8_t m : known) {
        testsupport::ScriptedLine own;
        ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1);
        // 0xE3 after these makers is only a device code: no extra byte.
        own.reply({0xC2, m, 0xE3, 0x5A});
        EXPECT_EQ(dwl1_3GetTypeFlash(&ctx), 1);
        EXPECT_EQ(ctx.FlashManufacturerId, m);
        EXPECT_EQ(ctx.FlashDeviceId, 0xE3);
        EXPECT_EQ(own.pending(), 1u);
    }
}

TEST_F(FlashIdent, UnknownManufacturerReadsNoDeviceCode) {
    ctx.FlashDeviceId = 0x42;
    EXPECT_EQ(identify({0xC2, 0x1F}), 15);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x1F);
    EXPECT_EQ(ctx.FlashDeviceId, 0x42);
    EXPECT_EQ(line.pending(), 1u);
}

TEST_F(FlashIdent, WrongHeaderAndMissingManufacturer) {
    EXPECT_EQ(identify({0xC0, 0x89, 0x18}), 12);
    EXPECT_EQ(line.pending(), 3u) << "nothing read after the header";

    testsupport::ScriptedLine silent;
    ASSERT_EQ(dwl12_0UartInit(ctx.ComPort, 38400, 2, 5), 1);
    silent.reply({0xC2});
    double start = silent.now();
    EXPECT_EQ(dwl1_3GetTypeFlash(&ctx), 13);
    EXPECT_EQ(ctx.FlashManufacturerId, 0x9D);
    EXPECT_DOUBLE_EQ(silent.now() - start, 5.0);
}

TEST_F(FlashIdent, MissingDeviceCodeIsLeftAsTheTimeOutByte) {
    line.reply({0xC2, 0x89});
    EXPECT_EQ(dwl1_3GetTypeFlash(&ctx), 1);
    EXPECT_EQ(ctx.FlashDeviceId, 0x9D);
}

} // namespace

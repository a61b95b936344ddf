// Opening, reopening and closing the COM port with the settings of each phase.
#include "link/com_map.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(SerialLink, DeviceNameIsComAndTheNumber) {
    char name[16];
    dwl12_3ComName(9, name, sizeof name);
    EXPECT_STREQ(name, "COM9");
    dwl12_3ComName(12, name, sizeof name);
    EXPECT_STREQ(name, "COM12");
    char tiny[3] = {'x', 'x', 'x'};
    dwl12_3ComName(4, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "CO") << "cut to the buffer, always terminated";
    // A port given by its device is named by it, not by the panel's slot it runs on.
#if defined(_WIN32)
    dwl_SetComDevice(4, "\\\\.\\COM12");
    dwl12_3ComName(4, name, sizeof name);
    EXPECT_STREQ(name, "COM12");
#else
    dwl_SetComDevice(4, "/dev/pts/9");
    dwl12_3ComName(4, name, sizeof name);
    EXPECT_STREQ(name, "/dev/pts/9");
#endif
    dwl_ClearComDevices();
    dwl12_3ComName(4, name, sizeof name);
    EXPECT_STREQ(name, "COM4");
    EXPECT_EQ(dwl_ComDevicePath(0), "");
    if (std::getenv("DWL_COM3") == nullptr) {
#if defined(_WIN32)
        EXPECT_EQ(dwl_ComDevicePath(3), "\\\\.\\COM3");
#else
        EXPECT_EQ(dwl_ComDevicePath(3), "/dev/ttyUSB2");
#endif
    }
    if (std::getenv("DWL_COM1") == nullptr) { // the first port has its device too
#if defined(_WIN32)
        EXPECT_EQ(dwl_ComDevicePath(1), "\\\\.\\COM1");
#else
        EXPECT_EQ(dwl_ComDevicePath(1), "/dev/ttyUSB0");
#endif
    }

    testsupport::ScriptedLine line;
    ASSERT_EQ(dwl12_0UartInit(9, 38400, 2, 5), 1);
    ASSERT_EQ(dwl12_0UartInit(32, 38400, 2, 5), 1) << "the services know COM1 to COM32";
    ASSERT_EQ(dwl12_0UartInit(1, 38400, 2, 5), 1);
    ASSERT_EQ(line.openedNames.size(), 3u);
    EXPECT_EQ(line.openedNames[0], "COM9");
    EXPECT_EQ(line.openedNames[1], "COM32");
    EXPECT_EQ(line.openedNames[2], "COM1");
}

// The names the system gives its own ports, which the command line takes beside the panel's
// COM1 to COM4: Windows numbers them (COM12 opens only as \\.\COM12); Linux names them by path.
TEST(SerialLink, TheSystemsOwnPortNames) {
    struct Case {
        const char* name;
        const char* device; // "" for a name that is none of the system's ports
    };
    const Case cases[] = {
#if defined(_WIN32)
        {"COM12", "\\\\.\\COM12"},
        {"com3", "\\\\.\\COM3"},
        {"12", "\\\\.\\COM12"},
        {"\\\\.\\COM256", "\\\\.\\COM256"},
        {"\\\\.\\com7", "\\\\.\\COM7"},
        {"COM257", ""},
        {"COM0", ""},
        {"COM012", ""},
        {"COM", ""},
        {"COM1x", ""},
        {"-3", ""},
        {"\\\\.\\COM", ""},
        {"/dev/ttyUSB0", ""},
        {"LPT1", ""},
#else
        {"COM12", ""},
        {"12", ""},
        {"/dev/ttyUSB0", ""},
#endif
    };
    for (const Case& c : cases)
        EXPECT_EQ(dwl_SystemPortDevice(c.name), c.device) << c.name;
    // A port that is not there is told from one that does not open.
    EXPECT_FALSE(dwl_SerialDevicePresent(dwl_SystemComDevice(199)));
    EXPECT_FALSE(dwl_SerialDevicePresent("/dwl-no-such-folder/port"));
}

TEST(SerialLink, OpenFailureKeepsTheNegativeErrorNumber) {
    testsupport::ScriptedLine line;
    for (int error : {-3, -7, -99, -1}) {
        line.failOpenWith(error);
        EXPECT_EQ(dwl12_0UartInit(4, 38400, 2, 5), error);
    }
    EXPECT_TRUE(line.settings().empty());
    // A port whose settings are refused is closed, at its first opening as at a reopening.
    line.failOpenWith(0);
    line.failConfigureWith(kRS_InvalidParameter);
    EXPECT_EQ(dwl12_0UartInit(4, 38400, 2, 5), kRS_InvalidParameter);
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(GetOutQLen(4), kRS_PortNotOpen);
    line.failConfigureWith(0);
    ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
    line.failConfigureWith(kRS_InvalidParameter);
    EXPECT_EQ(OpenComConfig(4, "COM4", 460800, 0, 8, 1, 512, 512), kRS_InvalidParameter);
    EXPECT_EQ(line.closes, 2);
    EXPECT_EQ(GetOutQLen(4), kRS_PortNotOpen);
    line.failConfigureWith(0);
    // A port number the services do not know is refused by them, not by a crash.
    line.failOpenWith(0);
    EXPECT_EQ(dwl12_0UartInit(0, 38400, 2, 5), kRS_InvalidPortNum);
    EXPECT_EQ(dwl12_0UartInit(33, 38400, 2, 5), kRS_InvalidPortNum);
}

// Every service on a port that is not open, and the parameters the services refuse.
TEST(SerialLink, ServicesRefuseClosedPortsAndBadParameters) {
    testsupport::ScriptedLine line;
    uint8_t buffer[4] = {0xBE, 0, 0, 0};
    for (int port : {0, 6, 33}) {
        SCOPED_TRACE(port);
        for (int rc :
             {SetCTSMode(port, 0), SetXMode(port, 0), SetComTime(port, 1.0), FlushInQ(port),
              FlushOutQ(port), ComSetEscape(port, SETDTR), ComWrtByte(port, 0x44),
              ComWrt(port, buffer, 1), GetOutQLen(port), GetInQLen(port), WaitInQ(port, 0.0),
              WaitOutQEmpty(port, 0.0), ComRd(port, buffer, 1), CloseCom(port)})
            EXPECT_EQ(rc, kRS_PortNotOpen);
        EXPECT_EQ(ComRdByte(port), kRS_TimeOutErr) << "a closed port reads as silence";
    }
    EXPECT_TRUE(line.openedNames.empty());

    ASSERT_EQ(OpenComConfig(4, "COM4", 38400, 2, 8, 1, 512, 512), 0);
    for (int parity : {-1, 5})
        EXPECT_EQ(OpenComConfig(4, "COM4", 38400, parity, 8, 1, 512, 512), kRS_InvalidParameter);
    EXPECT_EQ(OpenComConfig(4, "COM4", 0, 0, 8, 1, 512, 512), kRS_InvalidParameter);
    EXPECT_EQ(ComSetEscape(4, 99), kRS_InvalidParameter);
    EXPECT_EQ(ComWrt(4, nullptr, 1), kRS_InvalidParameter);
    EXPECT_EQ(ComWrt(4, buffer, -1), kRS_InvalidParameter);
    EXPECT_EQ(ComWrt(4, nullptr, 0), 0);
    EXPECT_EQ(ComRd(4, buffer, 0), 0);
    EXPECT_TRUE(line.written().empty());
    EXPECT_EQ(ComWrtByte(4, 0x1BE), 1) << "the low byte goes";
    EXPECT_EQ(line.written(), std::vector<uint8_t>{0xBE});
    EXPECT_EQ(line.settings().size(), 1u) << "refused settings change nothing";
    EXPECT_EQ(CloseCom(4), 0);
    EXPECT_EQ(CloseCom(4), kRS_PortNotOpen);
}

// The texts the log shows before a failed acknowledgement.
TEST(SerialLink, ErrorTextsNameEachError) {
    const struct {
        int error;
        const char* text;
    } rows[] = {
        {kRS_UnknownSysError, "Unknown system error"},
        {kRS_InvalidPortNum, "Invalid port number"},
        {kRS_PortNotOpen, "Port is not open"},
        {kRS_UnknownIOError, "Unknown I/O error"},
        {kRS_InternalError, "Unexpected internal error"},
        {kRS_NoPortFound, "No serial port found"},
        {kRS_CanNotOpenPort, "Cannot open port"},
        {kRS_InvalidParameter, "Invalid parameter"},
        {kRS_TimeOutErr, "Timeout error"},
        {-8, "Unknown error"},
        {0, "No error"},
        {0xBE, "No error"},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(GetRS232ErrorString(r.error), r.text) << r.error;
}

TEST(SerialLink, BootSettingsThenEveryLinkSpeedOnTheSamePort) {
    testsupport::ScriptedLine line;
    ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
    for (int index = 0; index < 9; ++index) {
        ASSERT_EQ(dwl12_0UartInit(4, a_PCSpeedValue[index], 0, 10), 1);
    }

    ASSERT_EQ(line.settings().size(), 10u);
    EXPECT_EQ(line.settings()[0].baud, 38400);
    EXPECT_EQ(line.settings()[0].parity, 2);
    EXPECT_EQ(line.settings()[0].timeout, 5.0);
    const long rates[9] = {38400, 115200, 230400, 460800, 220338, 240740, 260000, 270833, 302325};
    for (int index = 0; index < 9; ++index) {
        EXPECT_EQ(a_PCSpeedValue[index], rates[index]);
        EXPECT_EQ(line.settings()[index + 1].baud, rates[index]);
        EXPECT_EQ(line.settings()[index + 1].parity, 0);
        EXPECT_EQ(line.settings()[index + 1].timeout, 10.0);
    }
    EXPECT_EQ(line.openedNames.size(), 1u) << "reopening applies settings to the open port";
    EXPECT_EQ(line.closes, 0);
    // Every opening drops DTR.
    EXPECT_EQ(line.dtrChanges(), std::vector<bool>(10, false));
}

TEST(SerialLink, StopDropsDtrAndClosesThePort) {
    testsupport::ScriptedLine line;
    ASSERT_EQ(dwl12_0UartInit(4, 38400, 2, 5), 1);
    ComSetEscape(4, SETDTR);

    dwl12_1UartStop(4);

    EXPECT_EQ(line.dtrChanges(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(ComRdByte(4), kRS_TimeOutErr); // a closed port reads as silence
    dwl12_1UartStop(4);                      // closing a closed port is harmless
    EXPECT_EQ(line.closes, 1);
}

} // namespace

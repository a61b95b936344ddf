// One-byte commands to the running bootstrap: speed change and its check, PMU, GPIO, switch-off,
// and the link set-up that precedes every download.
#include "command/dwl11command.h"

#include "boot/dwl1boot.h"
#include "boot/dwl1line.h"
#include "link/dwl12pclib.h"
#include "link/failure_log.h"
#include "link/line_step.h"
#include "link/rs232.h"
#include "uis/dwl_oplog.h"

// Handset-side divider parameters by speed index (the PC rate is a_PCSpeedValue).
const uint8_t a_SpeedParameters[9][3] = {
    {0x00, 0xFF, 0xEB}, {0x00, 0xFF, 0xF9}, {0x80, 0xFF, 0xFD},
    {0xC0, 0xFF, 0xFF}, {0xB0, 0xFF, 0xFD}, {0x60, 0xFF, 0xFD},
    {0x20, 0xFF, 0xFD}, {0x00, 0xFF, 0xFD}, {0xB0, 0xFF, 0xFE},
};

namespace {
constexpr uint8_t kChangeSpeed = 0xE0;
constexpr uint8_t kSpeedControl = 0xE9;
constexpr uint8_t kSetPmu = 0xEF;
constexpr uint8_t kSetGpio = 0xEB;
constexpr uint8_t kSwitchOff = 0xE8;

constexpr uint8_t kAccepted = 0xC0;
constexpr uint8_t kSpeedFrameAck = 0xC3;
constexpr uint8_t kSpeedChecksumOk = 0x00;
constexpr uint8_t kSpeedConfirmed = 0xCA;
constexpr uint8_t kPmuSet = 0xCF;
constexpr uint8_t kGpioSet = 0xC9;

constexpr int kBadCommandAck = 2;
constexpr int kBadSpeedIndex = 3;
constexpr int kBadSpeedAck = 7;
constexpr int kBadSpeedChecksum = 8;
constexpr int kSpeedControlError = 9;
constexpr int kBadPmuAck = 10;
constexpr int kSwitchOffError = 20;
constexpr int kBadGpioAck = 21;

constexpr int kSpeedChangeAttempts = 4;
constexpr int kSpeedControlAttempts = 4;
constexpr int kPmuAttempts = 3;
constexpr unsigned kFastLinkTimeoutSeconds = 10;
constexpr int kSpeedIndexCount = 9;
constexpr int kNoParity = 0;
constexpr int kFirstIndexWithGpio = 3;

// The port did not take the rate of the last speed change.
bool mv_PortRefusedSpeed = false;

// Sends a command byte and tells whether the bootstrap accepted it with 0xC0.
bool commandAccepted(uint8_t port, uint8_t command) {
    ComWrtByte(port, command);
    return dwl1_60ReadAnswer(port) == kAccepted;
}
} // namespace

int dwl11_50ChangeSpeed(unsigned int timeoutSeconds, uint8_t port, int speedIndex) {
    if (speedIndex < 0 || speedIndex >= kSpeedIndexCount) {
        dwl50_2AddCommentF("COMMAND : no link speed of index %d", speedIndex);
        return kBadSpeedIndex;
    }
    dwl12_SetLineStep("speed frame");
    if (!commandAccepted(port, kChangeSpeed)) {
        dwl12_LogFailure("COMMAND : speed change refused");
        return kBadCommandAck;
    }

    const uint8_t* p = a_SpeedParameters[speedIndex];
    const unsigned sum = p[0] + p[1] + p[2];
    const uint8_t frame[5] = {p[0], p[1], p[2], static_cast<uint8_t>(sum >> 8),
                              static_cast<uint8_t>(sum & 0xFF)};
    ComWrt(port, frame, sizeof frame);

    if (dwl1_60ReadAnswer(port) != kSpeedFrameAck) {
        dwl12_LogFailure("COMMAND : speed frame not acknowledged");
        return kBadSpeedAck;
    }
    if (dwl1_60ReadAnswer(port) != kSpeedChecksumOk) {
        dwl12_LogFailure("COMMAND : speed frame checksum refused");
        return kBadSpeedChecksum;
    }

    dwl1_61WaitOutQueueEmpty(port, false);
    // A dead link after the reopening shows in the speed control that follows. A port that does
    // not take the rate is closed: nothing more goes out, and the operator is told so rather
    // than that the handset did not answer.
    mv_PortRefusedSpeed = false;
    if (const int rc = dwl12_0UartInit(port, a_PCSpeedValue[speedIndex], kNoParity, timeoutSeconds);
        rc != 1) {
        mv_PortRefusedSpeed = true;
        dwl12_LogFailureF("COMMAND : the port refused %ld baud: %s", a_PCSpeedValue[speedIndex],
                          GetRS232ErrorString(rc));
        return kSpeedControlError;
    }

    if (dwl11_51SpeedControl(port) != 1) {
        dwl12_LogFailureF("COMMAND : no answer at %ld baud", a_PCSpeedValue[speedIndex]);
        return kSpeedControlError;
    }
    return 1;
}

int dwl11_51SpeedControl(uint8_t port) {
    uint8_t answer = DWL_NO_ANSWER;
    dwl12_SetLineStep("speed check");
    for (int attempt = 0; attempt < kSpeedControlAttempts; ++attempt) {
        ComWrtByte(port, kSpeedControl);
        answer = dwl1_60ReadAnswer(port);
        if (answer == kSpeedConfirmed) break;
    }
    return answer == kSpeedConfirmed ? 1 : kSpeedControlError;
}

int dwl11_52SetPMU(uint8_t port) {
    dwl12_SetLineStep("PMU");
    if (!commandAccepted(port, kSetPmu)) {
        dwl12_LogFailure("COMMAND : PMU command refused");
        return kBadCommandAck;
    }
    if (dwl1_60ReadAnswer(port) != kPmuSet) {
        dwl12_LogFailure("COMMAND : PMU not set");
        return kBadPmuAck;
    }
    dwl1_60ReadAnswer(port);
    return 1;
}

int dwl11_53SetGPIO(uint8_t port) {
    dwl12_SetLineStep("GPIO");
    if (!commandAccepted(port, kSetGpio)) {
        dwl12_LogFailure("COMMAND : GPIO command refused");
        return kBadCommandAck;
    }
    if (dwl1_60ReadAnswer(port) != kGpioSet) {
        dwl12_LogFailure("COMMAND : GPIO not set");
        return kBadGpioAck;
    }
    return 1;
}

int dwl11_8SetGPIO(DownloadContext context) {
    if (context.SpeedIndex < kFirstIndexWithGpio) return 1;
    return dwl11_53SetGPIO(static_cast<uint8_t>(context.ComPort));
}

int dwl11_7SwitchOffCommand(uint8_t port) {
    dwl12_SetLineStep("switch-off");
    if (!commandAccepted(port, kSwitchOff)) {
        dwl12_LogFailure("COMMAND : switch-off refused");
        return kSwitchOffError;
    }
    return 1;
}

int dwl11_0SetSpeedAndPMU(DownloadContext context) {
    const uint8_t port = static_cast<uint8_t>(context.ComPort);

    int rc = 0;
    for (int attempt = 0; attempt < kSpeedChangeAttempts; ++attempt) {
        rc = dwl11_50ChangeSpeed(kFastLinkTimeoutSeconds, port, context.SpeedIndex);
        // Another attempt would go out on a port that is closed.
        if (rc == 1 || mv_PortRefusedSpeed) break;
    }
    if (rc != 1) return rc;

    if (context.Pmu == 1) {
        for (int attempt = 0; attempt < kPmuAttempts; ++attempt) {
            rc = dwl11_52SetPMU(port);
            if (rc == 1) break;
        }
        if (rc != 1) return rc;
    }

    return dwl1_4DownloadExtendMobule(port);
}

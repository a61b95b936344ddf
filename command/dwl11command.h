// Commands to the running bootstrap: speed change, PMU, GPIO, switch-off, sector download and
// the TFS image transfer.
#pragma once

#include "session/dwl_context.h"

#include <cstdint>

extern const uint8_t a_SpeedParameters[9][3];
// Last progress percentage shown by a transfer.
extern int mv_SoftPourcent;
// The commands' run-time state back to a program's start: no progress.
void dwl11_ResetRunTime();

int dwl11_0SetSpeedAndPMU(DownloadContext context);
int dwl11_50ChangeSpeed(unsigned int timeoutSeconds, uint8_t port, int speedIndex);
int dwl11_51SpeedControl(uint8_t port);
int dwl11_52SetPMU(uint8_t port);
int dwl11_8SetGPIO(DownloadContext context);
int dwl11_53SetGPIO(uint8_t port);
int dwl11_7SwitchOffCommand(uint8_t port);

ResultRecord dwl11_54Download(DownloadContext context, uint32_t length, const uint8_t* image,
                              uint32_t startAddress);
ResultRecord dwl11_54Download_TFS_ogm(DownloadContext context, uint32_t length,
                                      const uint8_t* image, uint32_t startAddress, uint8_t flag);

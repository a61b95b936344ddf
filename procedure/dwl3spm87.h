// Download procedures (from the link set-up after the boot to the switch-off) and image steps.
#pragma once

#include "session/dwl_context.h"

#include <cstdint>

// Format request: the next TFS ogm run formats the handset's flash file system.
extern uint8_t v_Format_Flag;

ResultRecord dwl3_0Generic5087(DownloadContext context);
ResultRecord dwl3_0Generic5087_ogm(DownloadContext context);
ResultRecord dwl3_0Generic5087_TFS_ogm(DownloadContext context);

ResultRecord dwl3_1DownloadSoftware(DownloadContext context);
ResultRecord dwl3_1DownloadSoftware_ogm(DownloadContext context);
ResultRecord dwl3_1DownloadSoftware_TFS_ogm(DownloadContext context);

// Handset address where the ogm image of a model starts.
uint32_t dwl3_2OgmStartAddress(int32_t model, uint8_t flashDeviceId);

// The image steps of the procedures: each writes one image (binary, ogm, TFS ogm) of the
// context and shows the run's elapsed time after it.
#pragma once

#include "session/dwl_context.h"

#include <cstdint>

ResultRecord dwl3_1DownloadSoftware(DownloadContext context);
ResultRecord dwl3_1DownloadSoftware_ogm(DownloadContext context);
ResultRecord dwl3_1DownloadSoftware_TFS_ogm(DownloadContext context);

// Handset address where the ogm image of a model starts.
uint32_t dwl3_2OgmStartAddress(int32_t model, uint8_t flashDeviceId);

// Writes "<m> min <s> sec" for the time from start to end into the elapsed-time label.
void dwl3_4ShowElapsedTime(uint32_t startTime, uint32_t endTime);
// Logs that the image was not loaded, or was loaded empty, and that its step is skipped.
void dwl3_6LogImageSkipped(const DownloadContext& context, uint8_t image);

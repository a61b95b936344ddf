// Download procedures: from the link set-up after the boot to the switch-off.
#pragma once

#include "procedure/dwl3_image_steps.h"
#include "procedure/dwl3_modes.h"
#include "session/dwl_context.h"

#include <cstdint>

ResultRecord dwl3_0Generic5087(DownloadContext context);
ResultRecord dwl3_0Generic5087_ogm(DownloadContext context);
ResultRecord dwl3_0Generic5087_TFS_ogm(DownloadContext context);

// The procedure, run on a copy of the context.
ResultRecord dwl3_3RunProcedure(uint8_t procedure, const DownloadContext& context);

// The procedures' run-time state back to a program's start: no format request, no format panel.
void dwl3_ResetRunTime();

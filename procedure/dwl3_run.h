// Pieces shared by the download procedures: the elapsed-time label, the image steps as a run
// uses them, the end of a run and the flash format exchange.
#pragma once

#include "procedure/dwl3_image_steps.h"
#include "procedure/dwl3_modes.h"
#include "session/dwl_context.h"

#include <cstdint>

// Handle of the format panel (panel 2 of mmi.uir) while the format exchange runs.
extern int v_PanelFormat;

// Runs the image step of a procedure when the procedure runs it in the context's mode. A step
// that obeys the download type and finds a type other than 0 makes the result family 1, code 0
// and writes nothing. Otherwise it announces itself, is skipped (result untouched) when its
// image is not held, and else makes its result the run's. False when the step failed: the run
// then writes nothing more.
bool dwl3_7RunImageStep(const DownloadContext& context, uint8_t procedure, uint8_t image,
                        const char* announce, ResultRecord* result);

// Link preparation common to the procedures: GPIO, then speed, PMU and extension module.
// Family 0, or family 8 with the failing step code.
ResultRecord dwl3_8PrepareLink(const DownloadContext& context);
// Checks that the identified flash is described and every sector of it can be looked up.
// Family 0, or family 2 with the failing step code.
ResultRecord dwl3_9SectorWalk(const DownloadContext& context);

// End of a run: end time and elapsed-time label, the closing line (successLine when the run
// succeeded without PMU), and the switch-off of a successful run.
ResultRecord dwl3_10EndOfRun(DownloadContext context, ResultRecord result, const char* successLine);

// Marks on the sector map the ranges of the images the run of the procedure is going to write:
// binary, ogm, and the TFS, which the handset keeps in the flash above the ogm image.
void dwl3_13MarkImageRanges(const DownloadContext& context, uint8_t procedure);

// Asks the bootstrap to format the TFS flash file system and logs each stage of its answer.
// 1 when every reply was the expected one, otherwise 22.
int dwl3_11FormatFlash(int port);

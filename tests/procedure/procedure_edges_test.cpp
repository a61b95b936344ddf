// Edge cases and failure rows of the procedures and image steps: download types, PMU, link and
// geometry failures, failed and skipped image steps, the elapsed-time label.
#include "tests/support/emulated_run.h"

#include "command/dwl11command.h"
#include "flash/dwl10sectormap.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3_run.h"

#include <gtest/gtest.h>

namespace {

using xfer::EmulatedRun;

bool ProcedureLogged(const xfer::Panel& panel) {
    return panel.logged("Check the compatibility") || panel.logged("The end") ||
           panel.logged("Remove the battery of the mobile ");
}

TEST(ProcedureEdges, DownloadTypeOneWritesNothingAndKeepsTheHandsetOn) {
    EmulatedRun run({}, true);
    sg_DownloadContext.DownloadType = 1;
    sg_DownloadContext.Mode = 1;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(run.handset().recording().sectorWrites.empty());
    EXPECT_TRUE(run.panel.logged("Remove the battery of the mobile "));
    EXPECT_FALSE(run.handset().recording().switchedOff);
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), "0 min 0 sec");
}

TEST(ProcedureEdges, PmuRunEndsWithTheBatteryLineAndStillSwitchesOff) {
    EmulatedRun run({}, true);
    sg_DownloadContext.Pmu = 1;
    sg_DownloadContext.Mode = 1;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 0);
    EXPECT_TRUE(run.panel.logged("Remove the battery of the mobile "));
    EXPECT_FALSE(run.panel.logged("The end"));
    EXPECT_TRUE(run.handset().recording().switchedOff);
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
}

TEST(ProcedureEdges, UndescribedFlashStopsAtTheSectorWalk) {
    EmulatedRun run({}, true);
    sg_DownloadContext.FlashDeviceId = 0x55;
    sg_DownloadContext.Mode = 0;
    for (int mode : {0, 2}) {
        sg_DownloadContext.Mode = mode;
        ResultRecord r = run.procedure();
        EXPECT_EQ(r.family, 2);
        EXPECT_EQ(r.code, 15);
    }
    EXPECT_FALSE(ProcedureLogged(run.panel));
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), " ");
    EXPECT_TRUE(run.handset().recording().sectorWrites.empty());
}

TEST(ProcedureEdges, FlashWithoutSectorsPassesTheWalk) {
    EmulatedRun run({}, true);
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    vg_FlashDescritpion.NbFlash = 1;
    vg_FlashDescritpion.Flash[0].ManufacturerId = 1;
    vg_FlashDescritpion.Flash[0].DeviceId = 2;
    DownloadContext c = sg_DownloadContext;
    c.FlashManufacturerId = 1;
    c.FlashDeviceId = 2;
    EXPECT_EQ(dwl3_9SectorWalk(c).family, 0);
}

TEST(ProcedureEdges, LinkPreparationFailuresEndAtOnce) {
    struct Case {
        sim::Step silentFrom;
        int code;
    };
    for (Case c : {Case{sim::Step::Gpio, 2}, Case{sim::Step::SpeedAccept, 2}}) {
        for (int mode : {1, 2, 3}) {
            sim::FaultConfig faults;
            faults.silentFrom = c.silentFrom;
            EmulatedRun run(faults, true);
            sg_DownloadContext.Mode = mode;
            // The time of a run before goes as the procedure starts.
            SetCtrlAttribute(v_Panel, PANEL_ELAPSED_TIME, ATTR_LABEL_TEXT, "1 min 1 sec");
            ResultRecord r = run.procedure();
            EXPECT_EQ(r.family, 8) << mode;
            EXPECT_EQ(r.code, c.code) << mode;
            EXPECT_FALSE(ProcedureLogged(run.panel));
            EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), " ");
            EXPECT_FALSE(run.handset().recording().switchedOff);
        }
    }
}

TEST(ProcedureEdges, FailedSwitchOffIsACommandFailure) {
    sim::FaultConfig faults;
    faults.silentFrom = sim::Step::SwitchOff;
    EmulatedRun run(faults, true);
    sg_DownloadContext.Mode = 1;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 8);
    EXPECT_EQ(r.code, 20);
    EXPECT_TRUE(run.panel.logged("The end"));
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
}

TEST(ProcedureEdges, FailedBinaryStepEndsTheRun) {
    sim::FaultConfig faults;
    faults.rejectSectors = {DWL_FLASH_BASE};
    faults.rejectTimes = 3;
    faults.rejectDetail = 0x21;
    EmulatedRun run(faults, true);
    sg_DownloadContext.Mode = 5;
    const std::string before = run.panel.label(PANEL_ELAPSED_TIME);
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 10);
    EXPECT_EQ(r.code, 0x21);
    EXPECT_FALSE(run.panel.logged("Download ogm sector by sector"));
    EXPECT_FALSE(run.panel.logged("Download   TFS sector by sector"));
    EXPECT_TRUE(run.panel.logged("Remove the battery of the mobile "));
    EXPECT_FALSE(run.handset().recording().switchedOff);
    EXPECT_TRUE(run.flashErased(run.ogmAddress(), 30000));
    EXPECT_TRUE(run.tfsUntouched());
}

TEST(ProcedureEdges, FailedOgmStepKeepsTheTfsImageBack) {
    sim::FaultConfig faults;
    faults.badChecksumSectors = {0x02A00000u};
    faults.badChecksumTimes = 3;
    EmulatedRun run(faults, true);
    sg_DownloadContext.Mode = 4;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 12);
    EXPECT_EQ(r.code, 204);
    EXPECT_FALSE(run.panel.logged("Download   TFS Ogm sector by sector"));
    EXPECT_TRUE(run.tfsUntouched());
    EXPECT_FALSE(run.handset().recording().switchedOff);
}

TEST(ProcedureEdges, FailedTfsStepEndsWithItsFamily) {
    sim::FaultConfig faults;
    faults.tfsStartError = 0xA5;
    faults.tfsStartErrorNumber = 9;
    EmulatedRun run(faults, true);
    sg_DownloadContext.Mode = 6;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 19);
    EXPECT_EQ(r.code, 9);
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
    EXPECT_FALSE(run.handset().recording().switchedOff);
}

TEST(ProcedureEdges, RetriedSectorsStillLandIntact) {
    sim::FaultConfig faults;
    faults.rejectSectors = {DWL_FLASH_BASE + 8192};
    faults.rejectTimes = 2;
    faults.badChecksumSectors = {DWL_FLASH_BASE + 0x10000};
    faults.badChecksumTimes = 1;
    EmulatedRun run(faults, true);
    sg_DownloadContext.Mode = 1;
    EXPECT_EQ(run.procedure().family, 0);
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
}

TEST(ProcedureEdges, ModeFourWithoutDownloadTypeStillSendsTheTfsImage) {
    EmulatedRun run({}, true);
    sg_DownloadContext.Mode = 4;
    sg_DownloadContext.DownloadType = 1;
    ResultRecord r = run.procedure();
    EXPECT_FALSE(run.panel.logged("Download ogm sector by sector"));
    EXPECT_TRUE(run.panel.logged("Download   TFS Ogm sector by sector"));
    EXPECT_TRUE(run.tfsHoldsImage());
    EXPECT_TRUE(run.flashErased(run.ogmAddress(), 30000));
    EXPECT_EQ(r.family, 0);
}

TEST(ProcedureEdges, ModeTwoWithoutDownloadTypeWritesNothing) {
    EmulatedRun run({}, true);
    sg_DownloadContext.Mode = 2;
    sg_DownloadContext.DownloadType = 1;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 1);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(run.handset().recording().sectorWrites.empty());
    EXPECT_FALSE(run.handset().recording().switchedOff);
}

TEST(ProcedureEdges, MissingImagesAreSkippedWithALine) {
    EmulatedRun run({}, true);
    EmulatedRun::drop(sg_DownloadContext.Ogm);
    EmulatedRun::drop(sg_DownloadContext.TfsOgm);
    sg_DownloadContext.Mode = 5;
    ASSERT_EQ(dwl10_81SetSectorMapFlash(xfer::kManufacturer, xfer::kDevice), 1);
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
    EXPECT_TRUE(run.panel.logged("Ogm file not loaded : step skipped"));
    EXPECT_TRUE(run.panel.logged("TFS ogm file not loaded : step skipped"));
    EXPECT_TRUE(run.tfsUntouched());
    EXPECT_TRUE(run.handset().recording().switchedOff);
    // The sector map shows the binary's range alone: no file system above the missing ogm.
    EXPECT_EQ(sg_SectorMap.Sector[0].Image, SECTOR_BINARY);
    EXPECT_NE(sg_SectorMap.Sector[sg_SectorMap.NbSectors - 1].Image, SECTOR_TFS);
}

TEST(ProcedureEdges, MissingTfsImageLeavesModeFourResultAsItWas) {
    EmulatedRun run({}, true);
    EmulatedRun::drop(sg_DownloadContext.TfsOgm);
    sg_DownloadContext.Mode = 4;
    sg_DownloadContext.DownloadType = 1;
    ResultRecord r = run.procedure();
    EXPECT_EQ(r.family, 1) << "nothing was written";
    EXPECT_TRUE(run.panel.logged("TFS ogm file not loaded : step skipped"));
    EXPECT_TRUE(run.tfsUntouched());
}

TEST(ImageSteps, EmptySlotsSendNothing) {
    EmulatedRun run({}, true);
    DownloadContext c = sg_DownloadContext;
    EmulatedRun::drop(c.Cla);
    c.Ogm.Size = 0; // a slot with a buffer but nothing in it
    EmulatedRun::drop(c.TfsOgm);
    dwl12_0UartInit(c.ComPort, 38400, 2, 5);
    for (ResultRecord r : {dwl3_1DownloadSoftware(c), dwl3_1DownloadSoftware_ogm(c),
                           dwl3_1DownloadSoftware_TFS_ogm(c)}) {
        EXPECT_EQ(r.family, 0);
        EXPECT_EQ(r.code, 0);
    }
    EXPECT_TRUE(run.handset().recording().commands.empty());
    EXPECT_TRUE(run.panel.logged("Binary file not loaded : step skipped"));
    EXPECT_TRUE(run.panel.logged("Ogm file empty : step skipped"));
    EXPECT_FALSE(run.panel.logged("Ogm file not loaded : step skipped"));
    EXPECT_TRUE(run.panel.logged("TFS ogm file not loaded : step skipped"));
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), " ");
    // A TFS image with a buffer but no bytes, for a description that wants some.
    c.TfsOgm = sg_DownloadContext.TfsOgm;
    c.TfsOgm.Size = 0;
    EXPECT_EQ(dwl3_1DownloadSoftware_TFS_ogm(c).family, 0);
    EXPECT_TRUE(run.panel.logged("TFS ogm file empty : step skipped"));
    EXPECT_TRUE(run.handset().recording().commands.empty());
}

TEST(ImageSteps, ShortTfsImageIsRefusedBeforeTheTransfer) {
    EmulatedRun run({}, true);
    DownloadContext c = sg_DownloadContext;
    c.TfsOgm.Size = vg_TFSDescritpion.TotalSize - 1;
    dwl12_0UartInit(c.ComPort, 38400, 2, 5);
    ResultRecord r = dwl3_1DownloadSoftware_TFS_ogm(c);
    EXPECT_EQ(r.family, 18);
    EXPECT_EQ(r.code, 18);
    EXPECT_TRUE(run.panel.logged("ERROR : The size of the TFS OGM File is Wrong"));
    EXPECT_TRUE(run.handset().recording().commands.empty());
}

TEST(ImageSteps, UnknownModelHasNoOgmPlace) {
    EXPECT_EQ(dwl3_2OgmStartAddress(0, 0xE0), 0x02BB0000u);
    EXPECT_EQ(dwl3_2OgmStartAddress(1, 0xE0), 0x02800000u);
    EXPECT_EQ(dwl3_2OgmStartAddress(1, 0xE1), 0x02A00000u);
    EXPECT_EQ(dwl3_2OgmStartAddress(2, 0xE0), 0x02E00000u);
    EXPECT_EQ(dwl3_2OgmStartAddress(3, 0x18), 0u);
    EXPECT_EQ(dwl3_2OgmStartAddress(-1, 0x18), 0u);

    EmulatedRun run({}, true);
    sg_DownloadContext.Model = 7;
    dwl12_0UartInit(sg_DownloadContext.ComPort, 38400, 2, 5);
    ResultRecord r = dwl3_1DownloadSoftware_ogm(sg_DownloadContext);
    EXPECT_EQ(r.family, 2);
    EXPECT_EQ(r.code, 18);
    EXPECT_TRUE(run.handset().recording().commands.empty());
}

TEST(ImageSteps, BinaryAndTfsStartAtTheFlashBaseWhateverTheModel) {
    EmulatedRun run({}, true);
    sg_DownloadContext.Model = 0;
    sg_DownloadContext.SpeedIndex = 1;
    ASSERT_EQ(dwl11_0SetSpeedAndPMU(sg_DownloadContext), 1);
    EXPECT_EQ(dwl3_1DownloadSoftware(sg_DownloadContext).family, 0);
    EXPECT_TRUE(run.flashHolds(DWL_FLASH_BASE, run.cla));
    EXPECT_EQ(dwl3_1DownloadSoftware_TFS_ogm(sg_DownloadContext).family, 0);
    EXPECT_TRUE(run.tfsHoldsImage());
}

TEST(ImageSteps, FailedTransferLeavesTheLabelAlone) {
    sim::FaultConfig faults;
    faults.silentFrom = sim::Step::SectorAck;
    EmulatedRun run(faults, true);
    dwl12_0UartInit(sg_DownloadContext.ComPort, 38400, 2, 5);
    SetCtrlAttribute(v_Panel, PANEL_ELAPSED_TIME, ATTR_LABEL_TEXT, "1 min 1 sec");
    ResultRecord r = dwl3_1DownloadSoftware(sg_DownloadContext);
    EXPECT_EQ(r.family, 13);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME), "1 min 1 sec");
}

TEST(ElapsedTime, MinutesAndSeconds) {
    xfer::TempDir dir;
    xfer::Panel panel(dir);
    dwl3_4ShowElapsedTime(1000, 1125);
    EXPECT_EQ(panel.label(PANEL_ELAPSED_TIME), "2 min 5 sec");
    dwl3_4ShowElapsedTime(1000, 1200);
    EXPECT_EQ(panel.label(PANEL_ELAPSED_TIME), "3 min 20 sec");
    dwl3_4ShowElapsedTime(1000, 1000);
    EXPECT_EQ(panel.label(PANEL_ELAPSED_TIME), "0 min 0 sec");
}

TEST(ElapsedTime, StepShowsTheTimeSinceTheStartOfTheRun) {
    EmulatedRun run({}, true);
    sg_DownloadContext.StartTime = dwl_Time() - 200;
    dwl12_0UartInit(sg_DownloadContext.ComPort, 38400, 2, 5);
    ASSERT_EQ(dwl3_1DownloadSoftware(sg_DownloadContext).family, 0);
    const std::string label = run.panel.label(PANEL_ELAPSED_TIME);
    EXPECT_EQ(label.rfind("3 min 2", 0), 0u) << label;
}

} // namespace

// A complete bench for download runs against the emulated handset: working folder with the
// handset programs and flash.txt, the main panel, the images, and the checks of what the
// handset holds afterwards.
#pragma once

#include "tests/command/xfer_fixture.h"

#include "boot/dwl1boot.h"
#include "link/dwl12pclib.h"
#include "procedure/dwl3_modes.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_clock.h"
#include "sim/handset.h"
#include "startup/dwl50reset.h"
#include "tests/support/temp_files.h"

#include <memory>
#include <string>
#include <vector>

namespace xfer {

// The TFS description of the runs: two directories, files of several block counts.
inline void DescribeRunTfs() {
    DescribeTfs("TFS2.1", {"/sys", "/sys/fonts"},
                {{"/sys/a.cfg", 10},
                 {"/sys/fonts/big.fnt", 20000},
                 {"/sys/empty", 0},
                 {"/sys/fonts/b", 8192}});
}

class EmulatedRun {
  public:
    explicit EmulatedRun(sim::FaultConfig faults = {}, bool inBootstrap = false,
                         uint8_t device = kDevice, uint32_t claSize = 70000,
                         uint32_t ogmSize = 30000, bool wirePacing = false)
        : cwd_(dir_.path()), panel(dir_) {
        dwl50_3ResetRunTime();
        testsupport::writeBytes(dir_.file("flash.txt"), FlashText(kManufacturer, device));
        testsupport::writeBytes(dir_.file("dwl87.spm"), Pattern(3000, 87));
        testsupport::writeBytes(dir_.file("dwl88.spm"), Pattern(2000, 88));
        DescribeFlash(FlashText(kManufacturer, device));
        DescribeRunTfs();
        cla = Pattern(claSize, 1);
        ogm = Pattern(ogmSize, 2);
        tfs = Pattern(vg_TFSDescritpion.TotalSize, 3);

        sim::HandsetConfig config = sim::DefaultConfig();
        config.flashFile = dir_.file("flash.txt");
        config.manufacturerId = kManufacturer;
        config.deviceId = device;
        config.startInBootstrap = inBootstrap;
        config.recordLine = true;
        config.faults = faults;
        config.wirePacing = wirePacing;
        session_ = std::make_unique<sim::SimSession>(config);

        sg_DownloadContext.StartTime = dwl_Time();
        sg_DownloadContext.EndTime = sg_DownloadContext.StartTime;
        hold(sg_DownloadContext.Cla, cla);
        hold(sg_DownloadContext.Ogm, ogm);
        hold(sg_DownloadContext.TfsOgm, tfs);
        if (inBootstrap) {
            sg_DownloadContext.FlashManufacturerId = kManufacturer;
            sg_DownloadContext.FlashDeviceId = device;
            // The boot sequence would have left the port open at the boot speed.
            dwl12_0UartInit(sg_DownloadContext.ComPort, 38400, 2, 5);
        }
    }
    ~EmulatedRun() {
        session_.reset();
        dwl10_203FreeTFSDescription();
    }

    static void hold(ImageSlot& slot, std::vector<uint8_t>& bytes) {
        slot.Handle = 1;
        slot.Data = bytes.empty() ? nullptr : bytes.data();
        slot.Size = static_cast<uint32_t>(bytes.size());
    }
    static void drop(ImageSlot& slot) { slot = {-1, nullptr, 0}; }

    sim::Handset& handset() { return session_->handset(); }
    sim::VirtualClock& clock() { return session_->clock(); }

    // What the start command does for a mode once the panel is locked.
    ResultRecord start(int mode) {
        sg_DownloadContext.Mode = mode;
        ResultRecord boot = dwl1_0boot(&sg_DownloadContext);
        if (boot.family != 0) return boot;
        return procedure();
    }
    // The procedure of the mode, the handset's bootstrap running.
    ResultRecord procedure() {
        const DownloadMode* mode = dwl3_14Mode(sg_DownloadContext.Mode);
        return dwl3_3RunProcedure(mode != nullptr ? mode->Procedure : uint8_t{DWL3_PROC_BINARY},
                                  sg_DownloadContext);
    }

    uint32_t ogmAddress() const {
        return dwl3_2OgmStartAddress(sg_DownloadContext.Model, sg_DownloadContext.FlashDeviceId);
    }
    bool flashHolds(uint32_t address, const std::vector<uint8_t>& bytes) {
        return handset().flashEquals(address, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    // The flash holds the binary image (with `binary`) and the ogm image (with `withOgm`) at
    // their addresses, and is erased everywhere else.
    bool flashHoldsOnly(bool binary, bool withOgm) {
        std::vector<sim::PlacedImage> images;
        if (binary)
            images.push_back({DWL_FLASH_BASE, cla.data(), static_cast<uint32_t>(cla.size())});
        if (withOgm)
            images.push_back({ogmAddress(), ogm.data(), static_cast<uint32_t>(ogm.size())});
        return handset().flashHoldsOnly(images);
    }
    bool flashErased(uint32_t address, uint32_t count) {
        std::vector<uint8_t> erased(count, 0xFF);
        return handset().flashEquals(address, erased.data(), count);
    }
    // The handset's TFS holds exactly the description's directories and files with their data.
    bool tfsHoldsImage() { return handset().tfsHolds(vg_TFSDescritpion, tfs.data(), tfs.size()); }
    bool tfsUntouched() {
        const sim::TfsContents& t = handset().tfs();
        return !t.mounted && t.files.empty() && t.dirs.empty();
    }

    std::vector<uint8_t> cla, ogm, tfs;

  private:
    testsupport::TempDir dir_;
    testsupport::WorkingDirectory cwd_;

  public:
    Panel panel;

  private:
    std::unique_ptr<sim::SimSession> session_;
};

} // namespace xfer

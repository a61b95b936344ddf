// Whole download runs against the emulated handset: every mode leaves exactly its images in
// the handset, with the log lines, closing line and switch-off of the run.
#include "tests/support/emulated_run.h"
#include "tests/support/image_step_recorder.h"

#include "flash/dwl10sectormap.h"
#include "procedure/dwl3_modes.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using xfer::EmulatedRun;

struct ModeCase {
    int mode;
    bool binary, ogm, tfs;
};

class ModeRun : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeRun, LeavesExactlyTheModesImages) {
    const ModeCase& m = GetParam();
    EmulatedRun run;
    testsupport::ImageStepRecorder steps;
    ResultRecord r = run.start(m.mode);
    ASSERT_EQ(r.family, 0) << "code " << r.code;
    EXPECT_EQ(r.code, 0);

    EXPECT_EQ(run.flashHolds(DWL_FLASH_BASE, run.cla), m.binary);
    if (!m.binary) {
        EXPECT_TRUE(run.flashErased(DWL_FLASH_BASE, 70000));
    }
    EXPECT_EQ(run.ogmAddress(), 0x02A00000u);
    EXPECT_EQ(run.flashHolds(run.ogmAddress(), run.ogm), m.ogm);
    if (!m.ogm) {
        EXPECT_TRUE(run.flashErased(run.ogmAddress(), 30000));
    }
    EXPECT_TRUE(m.tfs ? run.tfsHoldsImage() : run.tfsUntouched());

    // Nothing else of the flash was written.
    for (const sim::SectorWrite& w : run.handset().recording().sectorWrites) {
        const bool inBinary = w.address < DWL_FLASH_BASE + 70000;
        const bool inOgm = w.address >= run.ogmAddress() && w.address < run.ogmAddress() + 30000;
        EXPECT_TRUE((inBinary && m.binary) || (inOgm && m.ogm)) << std::hex << w.address;
    }

    // The sector map shows the ranges the run wrote: the binary's from the start of the flash,
    // the ogm's at its place, the file system's up to the end of the flash.
    const SectorRecord* binary = dwl10_86FindSector(DWL_FLASH_BASE);
    const SectorRecord* ogm = dwl10_86FindSector(run.ogmAddress());
    ASSERT_TRUE(binary != nullptr && ogm != nullptr && sg_SectorMap.NbSectors > 0);
    EXPECT_EQ(binary->Image == SECTOR_BINARY, m.binary);
    EXPECT_EQ(binary->State == SECTOR_WRITTEN, m.binary);
    EXPECT_EQ(ogm->Image == SECTOR_OGM, m.ogm);
    EXPECT_EQ(sg_SectorMap.Sector[sg_SectorMap.NbSectors - 1].Image == SECTOR_TFS, m.tfs);
    // Without an ogm image the file system's range begins with the sector at the ogm's place.
    if (m.tfs && !m.ogm) {
        EXPECT_EQ(ogm->Image, SECTOR_TFS);
    }

    // The image steps told the progress meters of each image, in order, and that it went in.
    std::vector<uint8_t> begun, wanted;
    for (const ImageStepEvent& e : steps.of(IMAGE_STEP_BEGIN))
        begun.push_back(e.Image);
    if (m.binary) wanted.push_back(DWL_IMAGE_BINARY);
    if (m.ogm) wanted.push_back(DWL_IMAGE_OGM);
    if (m.tfs) wanted.push_back(DWL_IMAGE_TFS_OGM);
    EXPECT_EQ(begun, wanted);
    const std::vector<ImageStepEvent> ends = steps.of(IMAGE_STEP_END);
    ASSERT_EQ(ends.size(), wanted.size());
    for (const ImageStepEvent& e : ends) {
        EXPECT_EQ(e.Written, 1);
        EXPECT_EQ(e.Done, e.Total);
    }

    EXPECT_TRUE(run.handset().recording().switchedOff);
    EXPECT_TRUE(run.panel.logged("Check the compatibility"));
    EXPECT_TRUE(run.panel.logged(m.mode == 3 ? "The End" : "The end"));
    EXPECT_EQ(run.panel.label(PANEL_ELAPSED_TIME).find(" min "), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeRun,
    ::testing::Values(ModeCase{0, true, true, false}, ModeCase{1, true, false, false},
                      ModeCase{2, false, true, false}, ModeCase{3, false, false, true},
                      ModeCase{4, false, true, true}, ModeCase{5, true, true, true},
                      ModeCase{6, true, false, true}),
    [](const auto& info) { return "Mode" + std::to_string(info.param.mode); });

TEST(ModeRunLog, FiveAnnouncesItsStepsInOrder) {
    EmulatedRun run;
    ASSERT_EQ(run.start(5).family, 0);
    const int b = run.panel.find("Download binary sector by sector");
    const int o = run.panel.find("Download ogm sector by sector");
    const int t = run.panel.find("Download   TFS sector by sector");
    EXPECT_GT(b, run.panel.find("Check the compatibility"));
    EXPECT_GT(o, b);
    EXPECT_GT(t, o);
    EXPECT_GT(run.panel.find("The end"), t);
}

TEST(ModeRunLog, FourAnnouncesOgmThenTfs) {
    EmulatedRun run;
    ASSERT_EQ(run.start(4).family, 0);
    const int o = run.panel.find("Download ogm sector by sector");
    EXPECT_GE(o, 0);
    EXPECT_GT(run.panel.find("Download   TFS Ogm sector by sector"), o);
}

TEST(ModeRunLog, ThreeAnnouncesTheTfsImage) {
    EmulatedRun run;
    ASSERT_EQ(run.start(3).family, 0);
    EXPECT_TRUE(run.panel.logged("Download TFS_ogm file sector by sector"));
}

TEST(ModeRunPlacement, OgmGoesWhereTheModelSays) {
    struct Case {
        int model;
        uint8_t device;
        uint32_t address;
    };
    for (Case c : {Case{0, xfer::kDevice, 0x02BB0000u}, Case{1, xfer::kDevice, 0x02A00000u},
                   Case{1, 0xE0, 0x02800000u}, Case{2, xfer::kDevice, 0x02E00000u},
                   Case{2, 0xE0, 0x02E00000u}}) {
        EmulatedRun run({}, false, c.device);
        sg_DownloadContext.Model = c.model;
        ASSERT_EQ(run.start(2).family, 0) << c.model;
        EXPECT_TRUE(run.flashHolds(c.address, run.ogm)) << c.model << " " << int(c.device);
    }
}

// The README's table of modes (Mode, Name, Writes, Needs) tells what the mode table holds.
TEST(ModeTable, TheReadmeTableAgrees) {
    std::ifstream readme(testsupport::sourceDir() + "/README.md");
    ASSERT_TRUE(readme.good());
    const char* const kinds[DWL_NB_IMAGES] = {"binary", "ogm", "TFS"};
    // The images a cell names ("binary, ogm", "binary and TFS").
    auto images = [&](const std::string& cell) {
        std::vector<bool> named(DWL_NB_IMAGES, false);
        std::istringstream words(cell);
        for (std::string w; words >> w;) {
            if (!w.empty() && w.back() == ',') w.pop_back();
            for (int k = 0; k < DWL_NB_IMAGES; ++k)
                named[k] = named[k] || w == kinds[k];
        }
        return named;
    };
    int rows = 0;
    for (std::string line; std::getline(readme, line);) {
        if (line.size() < 5 || line.rfind("| ", 0) != 0 || line.find("| `") != 4) continue;
        std::vector<std::string> cells;
        for (size_t at = 1; at < line.size();) {
            const size_t next = line.find('|', at);
            if (next == std::string::npos) break;
            cells.push_back(line.substr(at, next - at));
            at = next + 1;
        }
        ASSERT_EQ(cells.size(), 4u) << line;
        const int mode = std::stoi(cells[0]);
        const DownloadMode* m = dwl3_14Mode(mode);
        ASSERT_NE(m, nullptr) << line;
        EXPECT_EQ(cells[1].substr(2, cells[1].find('`', 2) - 2), m->Name) << line;
        EXPECT_EQ(images(cells[2]), std::vector<bool>(m->Writes, m->Writes + DWL_NB_IMAGES))
            << line;
        EXPECT_EQ(images(cells[3]), std::vector<bool>(m->Needs, m->Needs + DWL_NB_IMAGES)) << line;
        EXPECT_EQ(mode, rows++) << "rows in mode order";
    }
    EXPECT_EQ(rows, DWL3_NB_MODES);
}

} // namespace

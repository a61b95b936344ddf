// Images named on dwl-gui's command line ("Open with" of the desktop) load into their slots as
// through their load buttons; other files are passed over.
#include "app/gui/gui_open_files.h"
#include "session/dwl_context.h"
#include "tests/qt/ui_gui_bench.h"
#include "ui/mmi_ids.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GuiOpenFiles, EachImageGoesToTheSlotOfItsKind) {
    guitest::GuiBench bench;
    const std::string bin = bench.copyExample("sample.bin", bench.imageFile("PHONE.BIN"));
    const std::string tfs = bench.copyExample("sample.tfs", bench.imageFile("sample.tfs"));
    bench.copyExample("sample.cfg", bench.imageFile("sample.cfg"));
    const std::string notes = bench.copyExample("flash.txt", bench.imageFile("notes.txt"));

    dwlgui_LoadImages({notes, bin, tfs, bench.imageFile("missing.ogm")});

    struct Slot {
        int path, size;
        std::string file, bytes;
    };
    const Slot loaded[] = {
        {MAIN_BIN_PATH, MAIN_BIN_SIZE, bin, "300000"},
        {MAIN_TFS_PATH, MAIN_TFS_SIZE, tfs, "85598"},
    };
    for (const Slot& s : loaded) {
        EXPECT_EQ(bench.widget<QPlainTextEdit>(s.path)->toPlainText().toStdString(), s.file);
        EXPECT_EQ(bench.widget<QLabel>(s.size)->text().toStdString(), s.bytes) << s.file;
    }
    // A missing image leaves its slot empty, as a dialog that found nothing would.
    EXPECT_EQ(sg_DownloadContext.Ogm.Size, 0u);
}

} // namespace

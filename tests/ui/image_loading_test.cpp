// Loading the binary, ogm and TFS ogm images from the panel: sizes, byte sums, padding, the
// TFS description and size check, failed loads and what the start checks make of them.
#include "tests/support/memory_limit.h"
#include "tests/support/operator_bench.h"

#include "flash/dwl10tfs.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "ui/utility_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using testsupport::OperatorBench;
using testsupport::readBytes;

namespace {

uint32_t sumOf(const std::vector<uint8_t>& bytes) {
    uint32_t s = 0;
    for (uint8_t b : bytes)
        s += b;
    return s;
}

TEST(ImageLoading, TheLoadButtonsAskForTheirFileType) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 5);
    bench.press(MAIN_BIN_LOAD); // no answer queued: cancelled
    bench.press(MAIN_OGM_LOAD);
    bench.press(MAIN_TFS_LOAD);
    const auto& requests = uis_FileRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].fileType, "*.bin");
    EXPECT_EQ(requests[0].title, "select bin file");
    EXPECT_EQ(requests[1].fileType, "*.ogm");
    EXPECT_EQ(requests[1].title, "select ogm file");
    EXPECT_EQ(requests[2].fileType, "*.tfs");
    EXPECT_EQ(requests[2].title, "select tfs file");
    for (const auto& r : requests)
        EXPECT_EQ(r.defaultDirectory, "c:/images");
    // A cancelled popup loads nothing and logs nothing.
    EXPECT_TRUE(bench.lines.empty());
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
}

TEST(ImageLoading, ABinaryOfOddSizeIsHeldExactly) {
    OperatorBench bench;
    const std::string path = bench.writeImage("odd.bin", 1001, 4);
    bench.load(MAIN_BIN_LOAD, path);
    const std::vector<uint8_t> bytes = readBytes(path);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, path.c_str());
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 1001u);
    ASSERT_NE(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(sg_DownloadContext.Cla.Data, sg_DownloadContext.Cla.Data + 1001),
              bytes);
    EXPECT_EQ(bench.intValue(MAIN_BIN_SIZE), 1001);
    EXPECT_EQ(static_cast<uint32_t>(bench.intValue(MAIN_BIN_SUM)), sumOf(bytes));
    EXPECT_EQ(bench.text(MAIN_BIN_PATH), path);
    EXPECT_TRUE(bench.logged("Software binary file loading, please wait... "));
    // The load locked and released the panel.
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_FALSE(bench.dimmed(MAIN_START));
}

// Looks at the panel when a load shows the file's size, in the middle of the load.
class MidLoadView : public UiView {
  public:
    static constexpr int kSize = 64;
    MidLoadView(std::string path, int sizeControl) : path_(std::move(path)), size_(sizeControl) {}
    void controlChanged(int panel, int control) override {
        if (panel != v_Panel || control != size_ || seen) return;
        if (uis_Control(v_Panel, size_)->intValue != kSize) return; // not yet the new size
        seen = true;
        menuBar = uis_Panel(v_Panel)->menuBar != 0;
        for (int c : {MAIN_START, MAIN_MODE, MAIN_BIN_LOAD, MAIN_OGM_LOAD, MAIN_TFS_LOAD})
            allDimmed = allDimmed && uis_Control(v_Panel, c)->dimmed;
    }
    void processEvents() override {}
    void runEventLoop() override {}
    void quitEventLoop() override {}
    int fileSelect(const char*, const char*, const char*, std::string& path) override {
        path = path_;
        return VAL_EXISTING_FILE_SELECTED;
    }
    void message(const char*, const char*) override {}

    bool seen = false, menuBar = true, allDimmed = true;

  private:
    std::string path_;
    int size_;
};

TEST(ImageLoading, TheBinaryAndOgmLoadsLockThePanelWhileTheyRead) {
    const struct {
        int button, size;
        const char* name;
    } kinds[] = {{MAIN_BIN_LOAD, MAIN_BIN_SIZE, "lock.bin"},
                 {MAIN_OGM_LOAD, MAIN_OGM_SIZE, "lock.ogm"}};
    for (const auto& kind : kinds) {
        OperatorBench bench;
        bench.choose(MAIN_MODE, 0);
        MidLoadView view(bench.writeImage(kind.name, MidLoadView::kSize), kind.size);
        uis_SetView(&view);
        bench.press(kind.button);
        uis_SetView(nullptr);
        ASSERT_TRUE(view.seen) << kind.name;
        EXPECT_FALSE(view.menuBar) << kind.name;
        EXPECT_TRUE(view.allDimmed) << kind.name;
        EXPECT_TRUE(bench.menuBarShown()) << kind.name;
        EXPECT_FALSE(bench.dimmed(MAIN_START)) << kind.name;
    }
}

TEST(ImageLoading, AnOgmOfOddSizeIsPaddedAndItsSumCountsTheSpareByte) {
    OperatorBench bench;
    const std::string path = bench.writeImage("odd.ogm", 1001, 5);
    bench.load(MAIN_OGM_LOAD, path);
    const std::vector<uint8_t> bytes = readBytes(path);
    EXPECT_EQ(bench.intValue(MAIN_OGM_SIZE), 1001);
    EXPECT_EQ(sg_DownloadContext.Ogm.Size, 1002u);
    // The spare byte is the erased value: the byte past the file leaves the flash as erased.
    EXPECT_EQ(sg_DownloadContext.Ogm.Data[1001], 0xFF);
    EXPECT_EQ(static_cast<uint32_t>(bench.intValue(MAIN_OGM_SUM)), sumOf(bytes) + 0xFF);
    EXPECT_TRUE(bench.logged("Software ogm file loading, please wait... "));

    const std::string even = bench.writeImage("even.ogm", 1000, 6);
    bench.load(MAIN_OGM_LOAD, even);
    EXPECT_EQ(sg_DownloadContext.Ogm.Size, 1000u);
    EXPECT_EQ(static_cast<uint32_t>(bench.intValue(MAIN_OGM_SUM)), sumOf(readBytes(even)));
}

TEST(ImageLoading, LoadingTheSameFileTwiceGivesTheSameSizeAndSum) {
    OperatorBench bench;
    const std::string path = bench.writeImage("a.bin", 5000, 7);
    bench.load(MAIN_BIN_LOAD, path);
    const int size = bench.intValue(MAIN_BIN_SIZE);
    const int sum = bench.intValue(MAIN_BIN_SUM);
    EXPECT_EQ(bench.intValue(MAIN_BIN_SIZE), size);
    EXPECT_EQ(bench.intValue(MAIN_BIN_SUM), sum);
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 5000u);
    // With standard input closed (a production script's `<&-`) a file gets descriptor 0.
    const std::string other = bench.writeImage("b.bin", 6000, 7);
    const int savedInput = dup(0);
    close(0);
    bench.load(MAIN_BIN_LOAD, other);
    dup2(savedInput, 0);
    close(savedInput);
    EXPECT_EQ(sg_DownloadContext.Cla.Size, 6000u);
}

// An empty image would run to "Download successful" without writing a byte: each load button
// refuses it, names it, and keeps the image held before.
TEST(ImageLoading, AnEmptyFileIsRefusedByEveryLoadButtonAndTheHeldImageStays) {
    struct Kind {
        int button;
        const char* name;
        char* path;
        ImageSlot* slot;
        int pathBox;
    };
    OperatorBench bench;
    bench.choose(MAIN_MODE, 5);
    DownloadContext& c = sg_DownloadContext;
    const Kind kinds[] = {{MAIN_BIN_LOAD, "empty.bin", c.ClaFile, &c.Cla, MAIN_BIN_PATH},
                          {MAIN_OGM_LOAD, "empty.ogm", c.OgmFile, &c.Ogm, MAIN_OGM_PATH},
                          {MAIN_TFS_LOAD, "empty.tfs", c.TfsOgmFile, &c.TfsOgm, MAIN_TFS_PATH}};
    for (const Kind& k : kinds) {
        const std::string held = k.button == MAIN_TFS_LOAD
                                     ? bench.copyTfsSample()
                                     : bench.writeImage(std::string("held") + (k.name + 5), 300);
        bench.load(k.button, held);
        const uint8_t* data = k.slot->Data;
        ASSERT_NE(data, nullptr) << k.name;
        const std::string empty = bench.file(k.name);
        testsupport::writeBytes(empty, std::string());
        bench.lines.clear();
        bench.load(k.button, empty);
        const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
        ASSERT_GT(w, 0) << k.name;
        EXPECT_EQ(bench.windowText(w), "LIB_PC : The image file is empty");
        EXPECT_TRUE(bench.logged("Not loaded, the file is empty: " + empty)) << k.name;
        EXPECT_STREQ(k.path, held.c_str());
        EXPECT_EQ(bench.text(k.pathBox), held);
        EXPECT_EQ(k.slot->Data, data);
        bench.pressOk(w);
    }
}

TEST(ImageLoading, AFileThatCannotBeOpenedIsReportedAndThePreviousImageStaysNamed) {
    OperatorBench bench;
    const std::string good = bench.writeImage("good.bin", 3000, 8);
    bench.load(MAIN_BIN_LOAD, good);
    const uint8_t* held = sg_DownloadContext.Cla.Data;
    const int sum = bench.intValue(MAIN_BIN_SUM);

    const std::pair<std::string, const char*> bads[] = {
        {bench.file("missing.bin"), "No such file or directory"},
        {bench.dir().path(), "Is a directory"}};
    for (const auto& [bad, reason] : bads) {
        bench.load(MAIN_BIN_LOAD, bad);
        const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
        ASSERT_GT(w, 0) << bad;
        EXPECT_EQ(bench.windowText(w), "LIB_PC : File not found");
        EXPECT_TRUE(bench.logged("Cannot open " + bad + ": " + reason)) << bad;
        EXPECT_STREQ(sg_DownloadContext.ClaFile, good.c_str());
        EXPECT_EQ(bench.text(MAIN_BIN_PATH), good);
        EXPECT_EQ(sg_DownloadContext.Cla.Data, held);
        EXPECT_EQ(sg_DownloadContext.Cla.Size, 3000u);
        EXPECT_EQ(bench.intValue(MAIN_BIN_SUM), sum);
        bench.pressOk(w);
    }
}

// No memory for the image: the load fails like a file whose size cannot be taken.
TEST(ImageLoading, AnImageThatDoesNotFitInMemoryIsRefused) {
    if (testsupport::kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer maps beyond any limit";
    if (!testsupport::kAddressSpaceLimits) GTEST_SKIP() << "no address-space limit here";
    OperatorBench bench;
    const std::string huge = bench.file("huge.bin");
    testsupport::writeBytes(huge, std::string());
    std::filesystem::resize_file(huge, 512l << 20); // a sparse file: no disk used
    {
        testsupport::AddressSpaceLimit limit(64u << 20);
        ASSERT_TRUE(limit.ok());
        bench.load(MAIN_BIN_LOAD, huge);
    }
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : The calculation of the file size create an error");
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
}

// The largest length an image may have is 4 GiB less two bytes: one of 4 GiB less one byte is
// refused before anything is read. (Taken wrongly, it is read whole: 4 GiB of memory for once.)
TEST(ImageLoading, AnImageOfFourGibLessOneByteIsRefusedUnread) {
    if (testsupport::kAddressSanitizer) GTEST_SKIP() << "the address sanitizer cannot map it";
    if (sizeof(long) < 8) GTEST_SKIP() << "a long of 32 bits refuses it sooner";
    OperatorBench bench;
    const std::string huge = bench.file("huge.bin");
    testsupport::writeBytes(huge, std::string());
    std::error_code ec;
    std::filesystem::resize_file(huge, 0xFFFFFFFFull, ec); // a sparse file: no disk used
    if (ec) GTEST_SKIP() << "no file of 4 GiB here";
    bench.load(MAIN_BIN_LOAD, huge);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : The calculation of the file size create an error");
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
}

// A file that gives fewer bytes than its size promised (a system file, or one cut short while
// it is read) is refused: nothing of it is held.
TEST(ImageLoading, AFileShorterThanItsSizeIsRefused) {
    std::string shortFile;
    for (const char* candidate : {"/sys/devices/system/cpu/online", "/sys/kernel/uevent_seqnum"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) &&
            std::filesystem::file_size(candidate, ec) > readBytes(candidate).size() && !ec) {
            shortFile = candidate;
            break;
        }
    }
    if (shortFile.empty()) GTEST_SKIP() << "no file here that reads shorter than its size";
    OperatorBench bench;
    // As a TFS image, with a description of its promised size in the working folder.
    const std::string name = std::filesystem::path(shortFile).filename().string();
    testsupport::writeCrLfFile(
        bench.file(name.substr(0, name.size() - 3) + "cfg"),
        {"TFSVERSION : V1.0", "NUM_DIR : 1", "MAXFILES : 8", "SET_DIR", "DIR_NAME : /", "END_DIR",
         "SET_FILE", "FILE_NAME : /f",
         "FILE_SIZE : " + std::to_string(std::filesystem::file_size(shortFile)), "END_FILE",
         "END_TFS"});
    bench.choose(MAIN_MODE, 5);
    for (int button : {MAIN_BIN_LOAD, MAIN_TFS_LOAD}) {
        bench.load(button, shortFile);
        const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
        ASSERT_GT(w, 0) << button;
        EXPECT_EQ(bench.windowText(w), "LIB_PC : The calculation of the file size create an error");
        bench.pressOk(w);
    }
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Data, nullptr);
    EXPECT_STREQ(sg_DownloadContext.TfsOgmFile, "");
}

// Every load closes its image file, whether the image is kept or refused: a bench loads images
// all day, and each file left open holds it against being replaced.
TEST(ImageLoading, EveryLoadClosesItsImageFile) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 5);
    const std::string tfs = bench.copyTfsSample();
    if (testsupport::fileHeldOpen(tfs) < 0) GTEST_SKIP() << "no way to tell open files here";
    const std::string longer = bench.copyTfsSample("longer.tfs");
    std::vector<uint8_t> bytes = readBytes(longer);
    bytes.push_back(0);
    testsupport::writeBytes(longer, bytes);
    const std::string alone = bench.file("alone.tfs");
    testsupport::writeBytes(alone, bytes);
    const std::string empty = bench.file("empty.bin");
    testsupport::writeBytes(empty, std::string());
    const std::pair<int, std::string> loads[] = {
        {MAIN_BIN_LOAD, bench.writeImage("a.bin", 3000)},
        {MAIN_OGM_LOAD, bench.writeImage("a.ogm", 3001)},
        {MAIN_TFS_LOAD, tfs},
        {MAIN_BIN_LOAD, empty},  // refused: empty
        {MAIN_TFS_LOAD, longer}, // refused: not the size its description gives
        {MAIN_TFS_LOAD, alone},  // refused: no description
    };
    for (const auto& [button, path] : loads) {
        bench.load(button, path);
        EXPECT_EQ(testsupport::fileHeldOpen(path), 0) << path;
        for (int panel : {UTIL_PANEL_LIBPC_ERR, UTIL_PANEL_TFS_ERR, UTIL_PANEL_GENERIC_ERR})
            if (const int w = bench.window("Utility.uir", panel)) bench.pressOk(w);
    }
}

TEST(ImageLoading, AFailedFirstLoadLeavesNoPathAndStartAsksForTheFile) {
    {
        // A session before this one quit with its images held: nothing of them outlives it.
        OperatorBench before;
        before.load(MAIN_BIN_LOAD, before.writeImage("a.bin", 10, 1));
        before.load(MAIN_OGM_LOAD, before.writeImage("a.ogm", 10, 1));
        before.choose(MAIN_MODE, 3);
        before.load(MAIN_TFS_LOAD, before.copyTfsSample());
        ASSERT_STRNE(sg_DownloadContext.TfsOgmFile, "");
    }
    OperatorBench bench;
    bench.load(MAIN_BIN_LOAD, bench.file("missing.bin"));
    EXPECT_STREQ(sg_DownloadContext.ClaFile, "");
    EXPECT_EQ(bench.text(MAIN_BIN_PATH), "");
    bench.pressOk(bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR));
    bench.load(MAIN_OGM_LOAD, bench.file("missing.ogm"));
    EXPECT_STREQ(sg_DownloadContext.OgmFile, "");
    EXPECT_EQ(bench.text(MAIN_OGM_PATH), "");
    bench.pressOk(bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR));
    bench.choose(MAIN_MODE, 3);
    bench.load(MAIN_TFS_LOAD, bench.file("missing.tfs"));
    EXPECT_STREQ(sg_DownloadContext.TfsOgmFile, "");
    EXPECT_EQ(bench.text(MAIN_TFS_PATH), "");
    bench.choose(MAIN_MODE, 0);
    bench.choose(MAIN_MODE, 2);
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a ogm file before start");
}

TEST(ImageLoading, ATfsImageMatchingItsDescriptionIsHeldAndSetsTheFormatRequest) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 3);
    const std::string path = bench.copyTfsSample();
    const std::vector<uint8_t> bytes = readBytes(path);
    bench.load(MAIN_TFS_LOAD, path);
    EXPECT_EQ(v_Format_Flag, 1);
    EXPECT_EQ(vg_TFSDescritpion.TotalSize, bytes.size());
    EXPECT_EQ(bench.intValue(MAIN_TFS_SIZE), static_cast<int>(bytes.size()));
    const uint32_t held = (bytes.size() + 1) & ~1u;
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Size, held);
    uint32_t expected = sumOf(bytes);
    if (held != bytes.size()) expected += sg_DownloadContext.TfsOgm.Data[bytes.size()];
    EXPECT_EQ(static_cast<uint32_t>(bench.intValue(MAIN_TFS_SUM)), expected);
    EXPECT_TRUE(bench.logged("Software TFS ogm file loading, please wait... "));
    EXPECT_TRUE(bench.menuBarShown());
}

TEST(ImageLoading, ATfsImageOneByteOffItsDescriptionIsRejected) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 3);
    const std::string good = bench.copyTfsSample();
    bench.load(MAIN_TFS_LOAD, good); // a held image that the rejected one must not leave behind
    std::vector<uint8_t> bytes = readBytes(good);
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    bytes.push_back(0x5A);
    testsupport::writeBytes(bench.file("long.tfs"), bytes);
    testsupport::writeBytes(bench.file("long.cfg"),
                            readBytes(testsupport::sourceDir() + "/examples/sample.cfg"));
    v_Format_Flag = 0;
    bench.load(MAIN_TFS_LOAD, bench.file("long.tfs"));

    EXPECT_EQ(v_Format_Flag, 1);
    const int error = bench.find("ERROR : The size of the TFS OGM File is Wrong");
    ASSERT_GE(error, 0);
    char line[100];
    snprintf(line, sizeof line, "File size=%u(0x%08x)", total + 1, total + 1);
    EXPECT_EQ(bench.find(line), error + 1);
    snprintf(line, sizeof line, "Available size=%u(0x%08x)", total, total);
    EXPECT_EQ(bench.find(line), error + 2);
    const int w = bench.window("Utility.uir", UTIL_PANEL_GENERIC_ERR);
    ASSERT_GT(w, 0);
    snprintf(line, sizeof line,
             "The size of the TFS OGM File is Wrong.\n(Available size=%u(0x%08x))", total, total);
    EXPECT_EQ(bench.windowText(w), line);
    EXPECT_STREQ(sg_DownloadContext.TfsOgmFile, "");
    EXPECT_EQ(bench.text(MAIN_TFS_PATH), "");
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Size, 0u);
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Data, nullptr);
    EXPECT_EQ(bench.intValue(MAIN_TFS_SUM), 0);

    bench.pressOk(w);
    bench.press(MAIN_START);
    ASSERT_EQ(bench.messages().size(), 1u);
    EXPECT_EQ(bench.messages()[0], "DOWNLOAD: Please load a TFS_ogm file before start");
}

TEST(ImageLoading, ATfsImageWithoutDescriptionLeavesThePanelLockedUntilTheWindowButton) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 3);
    const std::string path = bench.writeImage("lonely.tfs", 100, 9);
    bench.load(MAIN_TFS_LOAD, path);
    EXPECT_EQ(v_Format_Flag, 1);
    const int w = bench.window("Utility.uir", UTIL_PANEL_TFS_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "TFS DESCRIPTION : The file tfs.cfg not found");
    EXPECT_TRUE(bench.logged("No TFS description " + bench.file("lonely.cfg") +
                             ": No such file or directory"));
    EXPECT_STREQ(sg_DownloadContext.TfsOgmFile, "");
    EXPECT_EQ(sg_DownloadContext.TfsOgm.Size, 0u);
    EXPECT_EQ(bench.text(MAIN_TFS_PATH), path);
    EXPECT_FALSE(bench.menuBarShown());
    EXPECT_TRUE(bench.dimmed(MAIN_START));
    bench.pressOk(w);
    EXPECT_TRUE(bench.menuBarShown());
    EXPECT_FALSE(bench.dimmed(MAIN_START));

    // A description that was found but is wrong: the log names the file read.
    testsupport::writeBytes(bench.file("wrong.cfg"), std::string("TFSVERSION\r\n"));
    bench.load(MAIN_TFS_LOAD, bench.writeImage("wrong.tfs", 100, 9));
    const int wrong = bench.window("Utility.uir", UTIL_PANEL_TFS_ERR);
    ASSERT_GT(wrong, 0);
    EXPECT_EQ(bench.windowText(wrong),
              "TFS DESCRIPTION : Problem with parameter TFSVERSION in the file tfs.cfg");
    EXPECT_TRUE(bench.logged("TFS description read from " + bench.file("wrong.cfg")));
}

TEST(ImageLoading, AFailedTfsLoadStillSetsTheFormatRequest) {
    OperatorBench bench;
    bench.choose(MAIN_MODE, 3);
    ASSERT_EQ(v_Format_Flag, 0);
    bench.load(MAIN_TFS_LOAD, bench.file("missing.tfs"));
    EXPECT_EQ(v_Format_Flag, 1);
    const int w = bench.window("Utility.uir", UTIL_PANEL_LIBPC_ERR);
    ASSERT_GT(w, 0);
    EXPECT_EQ(bench.windowText(w), "LIB_PC : File not found");
    EXPECT_STREQ(sg_DownloadContext.TfsOgmFile, "");
}

TEST(ImageLoading, QuitReleasesTheImages) {
    OperatorBench bench;
    bench.load(MAIN_BIN_LOAD, bench.writeImage("q.bin", 100));
    bench.load(MAIN_OGM_LOAD, bench.writeImage("q.ogm", 100));
    bench.press(MAIN_QUIT);
    EXPECT_TRUE(uis_QuitRequested());
    EXPECT_EQ(sg_DownloadContext.Cla.Data, nullptr);
    EXPECT_EQ(sg_DownloadContext.Ogm.Data, nullptr);
}

} // namespace

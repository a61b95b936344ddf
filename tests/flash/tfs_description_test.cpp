// The TFS description: which file is read, its format and codes, and text that breaks it.
#include "flash/dwl10tfs.h"
#include "session/dwl_context.h"
#include "tests/support/memory_limit.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

std::vector<std::string> description(const std::vector<std::string>& dirs,
                                     const std::vector<std::pair<std::string, std::string>>& files,
                                     int numDir = -1, int maxFiles = 8,
                                     const std::string& version = "V1.0") {
    std::vector<std::string> lines = {
        "TFSVERSION : " + version,
        "NUM_DIR : " + std::to_string(numDir < 0 ? (int)dirs.size() : numDir),
        "MAXFILES : " + std::to_string(maxFiles),
        "SET_DIR",
    };
    for (const auto& d : dirs)
        lines.push_back("DIR_NAME : " + d);
    lines.push_back("END_DIR");
    lines.push_back("SET_FILE");
    for (const auto& [name, size] : files) {
        lines.push_back("FILE_NAME : " + name);
        lines.push_back("FILE_SIZE : " + size);
    }
    lines.push_back("END_FILE");
    lines.push_back("END_TFS");
    return lines;
}

std::vector<std::string> simple() {
    return description({"/a", "/b"}, {{"/a/one", "10"}, {"/b/two", "0"}, {"/a/three", "4096"}});
}

struct TfsDescriptionTest : ::testing::Test {
    TfsDescription d{};
    ~TfsDescriptionTest() override { dwl10_205FreeTFSTables(&d); }
    int parseRaw(const std::string& text) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        return dwl10_204ParseTFSDescription(bytes.empty() ? nullptr : bytes.data(),
                                            (uint32_t)bytes.size(), &d);
    }
    int parse(const std::vector<std::string>& lines) {
        return parseRaw(testsupport::crlfText(lines));
    }
};

TEST_F(TfsDescriptionTest, ReadsADescription) {
    auto lines = simple();
    lines.insert(lines.begin(), {"# sample", ""});
    lines.push_back("# after");
    lines.push_back("");
    ASSERT_EQ(parse(lines), 1);
    EXPECT_STREQ(d.Version, "V1.0");
    EXPECT_EQ(d.NbDir, 2);
    EXPECT_EQ(d.MaxFiles, 8u);
    EXPECT_EQ(d.NbFiles, 3u);
    EXPECT_STREQ(d.DirNames[1], "/b");
    EXPECT_STREQ(d.Files[2].FileName, "/a/three");
    EXPECT_EQ(d.Files[0].FileSize, 10u);
    EXPECT_EQ(d.Files[1].FileSize, 0u);
    EXPECT_EQ(d.TotalSize, 4106u);
    // The rest of every entry keeps the 0xFF filling behind the NUL.
    EXPECT_EQ((uint8_t)d.DirNames[0][2], 0);
    EXPECT_EQ((uint8_t)d.DirNames[0][3], 0xFF);
    EXPECT_EQ((uint8_t)d.DirNames[1][DWL_TFS_NAME_SIZE - 1], 0xFF);
    EXPECT_EQ((uint8_t)d.Files[0].FileName[7], 0xFF);
    EXPECT_EQ((uint8_t)d.Files[7].FileName[0], 0xFF) << "unused entries too";
}

TEST_F(TfsDescriptionTest, EachMissingLineGivesItsCode) {
    // Index of the line in simple() and the code when it is replaced.
    const std::vector<std::pair<int, int>> lineAndCode = {
        {0, 3}, {1, 4}, {2, 5},  {3, 6},  {4, 7},  {6, 7},
        {7, 8}, {8, 9}, {9, 10}, {10, 9}, {14, 9}, {15, 12},
    };
    for (auto [line, code] : lineAndCode) {
        auto lines = simple();
        lines[line] = "OTHER : 1";
        EXPECT_EQ(parse(lines), code) << "line " << line;
        EXPECT_EQ(d.DirNames, nullptr) << "tables released after an error";
        EXPECT_EQ(d.Files, nullptr);
    }
}

TEST_F(TfsDescriptionTest, DirectoryCountMustMatch) {
    EXPECT_EQ(parse(description({"/a", "/b"}, {{"f", "1"}}, 3)), 6);
    EXPECT_EQ(parse(description({"/a", "/b", "/c", "/d"}, {{"f", "1"}}, 3)), 6);
    // The fourth line is refused as soon as it is met: an unreadable rest does not matter.
    auto lines = description({"/a", "/b", "/c", "/d"}, {{"f", "1"}}, 3);
    lines.resize(8);
    EXPECT_EQ(parse(lines), 6);
    EXPECT_EQ(parse(description({}, {{"f", "1"}}, 1)), 7);
}

TEST_F(TfsDescriptionTest, FileCountAgainstMaxFiles) {
    std::vector<std::pair<std::string, std::string>> three = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
    EXPECT_EQ(parse(description({"/"}, three, -1, 2)), 11);
    three.pop_back();
    ASSERT_EQ(parse(description({"/"}, three, -1, 2)), 1);
    EXPECT_EQ(d.NbFiles, 2u);
    three.pop_back();
    ASSERT_EQ(parse(description({"/"}, three, -1, 2)), 1);
    EXPECT_EQ(d.NbFiles, 1u);
    EXPECT_EQ(parse(description({"/"}, {})), 9) << "at least one file";
}

TEST_F(TfsDescriptionTest, NameLengths) {
    std::string name512(512, 'n');
    ASSERT_EQ(parse(description({std::string(511, 'd')}, {{name512, "5"}, {"x", "1"}})), 1);
    EXPECT_EQ(std::memcmp(d.Files[0].FileName, name512.data(), 512), 0);
    EXPECT_STREQ(d.Files[1].FileName, "x") << "the full entry has no NUL; the next is intact";
    EXPECT_EQ(d.Files[0].FileSize, 5u);
    EXPECT_EQ(d.DirNames[0][511], '\0');
    EXPECT_EQ(parse(description({"/"}, {{std::string(513, 'n'), "5"}})), 9);
    EXPECT_EQ(parse(description({std::string(512, 'd')}, {{"f", "5"}})), 7);
    EXPECT_EQ(parse(description({std::string(10000, 'd')}, {{"f", "5"}})), 7);
    EXPECT_EQ(parse(description({"/"}, {{std::string(10000, 'n'), "5"}})), 9);
    ASSERT_EQ(parse(description({" /with blanks "}, {{"f", "5"}})), 1);
    EXPECT_STREQ(d.DirNames[0], " /with blanks ");
}

TEST_F(TfsDescriptionTest, VersionLength) {
    ASSERT_EQ(parse(description({"/"}, {{"f", "1"}}, -1, 8, std::string(19, 'v'))), 1);
    EXPECT_EQ(std::string(d.Version), std::string(19, 'v'));
    EXPECT_EQ(parse(description({"/"}, {{"f", "1"}}, -1, 8, std::string(20, 'v'))), 3);
    EXPECT_EQ(parse(description({"/"}, {{"f", "1"}}, -1, 8, std::string(10000, 'v'))), 3);
}

TEST_F(TfsDescriptionTest, CountsOutsideOneTo65536AreRefusedBeforeAllocating) {
    for (const char* bad : {"0", "-1", "65537", "-2147483648", "99999999999", "2147483648",
                            "4294967296", "4294967297", "-4294967295"}) {
        auto lines = simple();
        lines[1] = std::string("NUM_DIR : ") + bad;
        EXPECT_EQ(parse(lines), 4) << bad;
        EXPECT_EQ(d.DirNames, nullptr);
        lines = simple();
        lines[2] = std::string("MAXFILES : ") + bad;
        EXPECT_EQ(parse(lines), 5) << bad;
        EXPECT_EQ(d.Files, nullptr);
    }
    auto lines = simple();
    lines[2] = "MAXFILES : 65536";
    ASSERT_EQ(parse(lines), 1);
    EXPECT_EQ(d.MaxFiles, 65536u);
    EXPECT_EQ(parse(description({"/"}, {{"f", "1"}}, 65536)), 6);
}

// Out of memory for a table: the description is refused with the code of that table's line.
TEST_F(TfsDescriptionTest, ATableThatCannotBeAllocatedRefusesTheDescription) {
    if (testsupport::kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer maps beyond any limit";
    if (!testsupport::kAddressSpaceLimits) GTEST_SKIP() << "no address-space limit here";
    int dirs = 0, files = 0;
    {
        // Room for 8 MB more: not for 65536 names of 512 bytes.
        testsupport::AddressSpaceLimit limit(8u << 20);
        ASSERT_TRUE(limit.ok());
        dirs = parse(description({"/"}, {{"/f", "1"}}, 65536));
        files = parse(description({"/"}, {{"/f", "1"}}, 1, 65536));
    }
    EXPECT_EQ(dirs, 4);
    EXPECT_EQ(files, 5);
}

TEST_F(TfsDescriptionTest, FileSizesMustFitTheImage) {
    // Sizes read as atoi reads them where long is 32 bits: at and beyond 2^31 they stay at
    // 2147483647, so that no size wraps round to a small one.
    struct Case {
        const char* size;
        int code;
        uint32_t total;
    };
    const Case cases[] = {
        {"-1", 10, 0},
        {"-2147483648", 10, 0},
        {"2147483647", 1, 2147483647u},
        {"2147483648", 1, 2147483647u},
        {"4294967295", 1, 2147483647u},
        {"4294967296", 1, 2147483647u},
        {"4294967297", 1, 2147483647u},
        {"18446744073709551617", 10, 0}, // 20 characters
        {"0000000000000000012", 1, 12u}, // 19 characters: the longest value taken
        {"  12 bytes", 1, 12u},
        {"0x20", 1, 0u},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(parse(description({"/"}, {{"f", c.size}})), c.code) << c.size;
        if (c.code == 1) {
            EXPECT_EQ(d.TotalSize, c.total) << c.size;
        }
    }
    EXPECT_EQ(parse(description({"/"}, {{"a", "2147483647"}, {"b", "2147483647"}, {"c", "2"}})),
              10);
    ASSERT_EQ(parse(description({"/"}, {{"a", "4294967296"}, {"b", "2147483648"}, {"c", "1"}})), 1);
    EXPECT_EQ(d.TotalSize, 0xFFFFFFFFu);
}

TEST_F(TfsDescriptionTest, OnlyCommentsGiveAnEmptyDescription) {
    ASSERT_EQ(parse(simple()), 1);
    ASSERT_EQ(parse({"# nothing", ""}), 1);
    EXPECT_EQ(d.NbDir, 0);
    EXPECT_EQ(d.NbFiles, 0u);
    EXPECT_EQ(d.TotalSize, 0u);
    EXPECT_EQ(d.DirNames, nullptr);
    EXPECT_EQ(parseRaw(""), 1);
}

TEST_F(TfsDescriptionTest, SecondDescriptionReplacesTheFirst) {
    auto lines = simple();
    auto second = description({"/x"}, {{"/x/only", "7"}}, -1, 1, "V2");
    lines.push_back("");
    lines.insert(lines.end(), second.begin(), second.end());
    ASSERT_EQ(parse(lines), 1);
    EXPECT_STREQ(d.Version, "V2");
    EXPECT_EQ(d.NbDir, 1);
    EXPECT_EQ(d.NbFiles, 1u);
    EXPECT_STREQ(d.Files[0].FileName, "/x/only");
    EXPECT_EQ(d.TotalSize, 7u);
}

TEST_F(TfsDescriptionTest, TextWithoutCarriageReturns) {
    std::string text;
    for (const auto& line : simple())
        text += line + "\n";
    EXPECT_EQ(parseRaw(text), 3);
    std::string crlf = testsupport::crlfText(simple());
    crlf.erase(crlf.find("\r\nEND_DIR"), 1);
    EXPECT_EQ(parseRaw(crlf), 7);
}

TEST_F(TfsDescriptionTest, NulBytesStayInsideTheEntries) {
    std::string text = testsupport::crlfText(simple());
    text[text.find("/a/one") + 2] = '\0';
    ASSERT_EQ(parseRaw(text), 1);
    EXPECT_EQ(std::memcmp(d.Files[0].FileName, "/a\0one\0", 7), 0);
    EXPECT_EQ(parseRaw(std::string(3000, '\0')), 3);
}

// Every prefix of a valid text gives a code and never a read beyond the data; success only once
// END_TFS is complete.
TEST_F(TfsDescriptionTest, TruncatedAnywhere) {
    std::string text = testsupport::crlfText(simple());
    size_t end = text.rfind("END_TFS");
    for (size_t n = 0; n <= text.size(); n++) {
        int code = parseRaw(text.substr(0, n));
        if (n == 0 || n >= end + 7) {
            EXPECT_EQ(code, 1) << n;
        } else {
            EXPECT_GE(code, 3) << n;
            EXPECT_LE(code, 12) << n;
        }
    }
}

// Which file belongs to an image: beside it, its name in the working directory, tfs.cfg.
struct TfsCandidateTest : ::testing::Test {
    testsupport::TempDir work, images;
    testsupport::WorkingDirectory cwd{work.path()};
    ~TfsCandidateTest() override { dwl10_203FreeTFSDescription(); }
    static void write(const std::string& path, const std::string& version) {
        testsupport::writeCrLfFile(path, description({"/"}, {{"f", "1"}}, -1, 8, version));
    }
};

TEST_F(TfsCandidateTest, DescriptionBesideTheImageComesFirst) {
    write(images.file("soft.cfg"), "BESIDE");
    write(work.file("soft.cfg"), "NAME");
    write(work.file("tfs.cfg"), "DEFAULT");
    std::string image = images.file("soft.tfs");
    char path[300];
    ASSERT_EQ(dwl10_202FindTFSDescription(image.c_str(), path, sizeof path), 1);
    EXPECT_EQ(std::string(path), images.file("soft.cfg"));
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(image.c_str()), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "BESIDE");
    // A relative name of three characters becomes "cfg" whole.
    write(work.file("cfg"), "SHORT");
    ASSERT_EQ(dwl10_202FindTFSDescription("abc", path, sizeof path), 1);
    EXPECT_STREQ(path, "cfg");
}

TEST_F(TfsCandidateTest, NamePartInTheWorkingDirectory) {
    write(work.file("soft.cfg"), "NAME");
    write(work.file("tfs.cfg"), "DEFAULT");
    std::string image = images.file("soft.tfs");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(image.c_str()), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "NAME");
    // A path written with backslashes leads to the same name part.
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor("c:\\images\\soft.tfs"), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "NAME");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor("c:/images\\sub/soft.tfs"), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "NAME");
    char path[300];
    ASSERT_EQ(dwl10_202FindTFSDescription("/x\\soft.tfs", path, sizeof path), 1);
    EXPECT_STREQ(path, "soft.cfg");
}

TEST_F(TfsCandidateTest, TfsCfgAsTheLastResort) {
    write(work.file("tfs.cfg"), "DEFAULT");
    // Folders named like the first two candidates are no files that open.
    ASSERT_TRUE(std::filesystem::create_directory(images.file("folder.cfg")));
    ASSERT_TRUE(std::filesystem::create_directory(work.file("folder.cfg")));
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(images.file("folder.tfs").c_str()), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "DEFAULT");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(images.file("other.tfs").c_str()), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "DEFAULT");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(""), 1);
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor("ab"), 1);
    // A name part beyond 127 characters is not tried.
    std::string longName = std::string(130, 'n') + ".tfs";
    write(work.file(std::string(130, 'n') + ".cfg"), "LONG");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(("/nowhere/" + longName).c_str()), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "DEFAULT");
}

TEST_F(TfsCandidateTest, NoCandidateLeavesThePreviousDescription) {
    write(images.file("soft.cfg"), "FIRST");
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(images.file("soft.tfs").c_str()), 1);
    EXPECT_EQ(dwl10_201InitTFSDescriptionFor(images.file("missing.tfs").c_str()), 2);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "FIRST");
    EXPECT_EQ(vg_TFSDescritpion.NbFiles, 1u);
    char path[300] = "x";
    EXPECT_EQ(dwl10_202FindTFSDescription(images.file("missing.tfs").c_str(), path, sizeof path),
              2);
    EXPECT_STREQ(path, "") << "no candidate named after a failure";
    // Without an image there is no candidate beside it, and no reason to give for one.
    const char* reason = "x";
    EXPECT_EQ(dwl10_206WhyNoDescription(nullptr, path, sizeof path, &reason), 0);
    EXPECT_STREQ(reason, "");
    // A path that does not fit the caller's buffer is not offered.
    char small[8];
    EXPECT_EQ(dwl10_202FindTFSDescription(images.file("soft.tfs").c_str(), small, sizeof small), 2);
}

// Each candidate is offered when it fits the caller's buffer to the last byte, never beyond;
// a name part of 127 characters is still tried.
TEST_F(TfsCandidateTest, CandidatesFitTheBufferExactly) {
    write(images.file("soft.cfg"), "BESIDE");
    const std::string image = images.file("soft.tfs");
    std::vector<char> path(image.size() + 1);
    EXPECT_EQ(dwl10_202FindTFSDescription(image.c_str(), path.data(), path.size()), 1);
    EXPECT_EQ(std::string(path.data()), images.file("soft.cfg"));
    EXPECT_EQ(dwl10_202FindTFSDescription(image.c_str(), path.data(), path.size() - 1), 2);

    write(work.file("tfs.cfg"), "DEFAULT");
    char exact[sizeof "tfs.cfg"];
    EXPECT_EQ(dwl10_202FindTFSDescription("", exact, sizeof exact), 1);
    EXPECT_STREQ(exact, "tfs.cfg");
    EXPECT_EQ(dwl10_202FindTFSDescription("", exact, sizeof exact - 1), 2);

    const std::string name127 = std::string(123, 'n') + ".cfg";
    write(work.file(name127), "LONGEST");
    char longer[300];
    ASSERT_EQ(dwl10_202FindTFSDescription(("/nowhere/" + std::string(123, 'n') + ".tfs").c_str(),
                                          longer, sizeof longer),
              1);
    EXPECT_EQ(std::string(longer), name127);
}

TEST_F(TfsCandidateTest, ImageOfTheDownloadContext) {
    write(images.file("ctx.cfg"), "CONTEXT");
    std::string image = images.file("ctx.tfs");
    DownloadContext saved = sg_DownloadContext;
    snprintf(sg_DownloadContext.TfsOgmFile, sizeof sg_DownloadContext.TfsOgmFile, "%s",
             image.c_str());
    EXPECT_EQ(dwl10_200InitTFSDescription(), 1);
    EXPECT_STREQ(vg_TFSDescritpion.Version, "CONTEXT");
    sg_DownloadContext = saved;
}

TEST_F(TfsCandidateTest, ErrorsFromTheFile) {
    testsupport::writeCrLfFile(images.file("bad.cfg"), {"NUM_DIR : 1"});
    EXPECT_EQ(dwl10_201InitTFSDescriptionFor(images.file("bad.tfs").c_str()), 3);
    EXPECT_EQ(vg_TFSDescritpion.DirNames, nullptr);
}

TEST(SampleTfsDescription, MatchesTheSampleImage) {
    std::string image = testsupport::sourceDir() + "/examples/sample.tfs";
    ASSERT_EQ(dwl10_201InitTFSDescriptionFor(image.c_str()), 1);
    EXPECT_GE(vg_TFSDescritpion.NbDir, 2);
    EXPECT_GE(vg_TFSDescritpion.NbFiles, 8u);
    EXPECT_EQ(vg_TFSDescritpion.TotalSize, testsupport::readBytes(image).size());
    dwl10_203FreeTFSDescription();
    // Freed, it describes nothing: no table and no count left behind.
    EXPECT_EQ(vg_TFSDescritpion.DirNames, nullptr);
    EXPECT_EQ(vg_TFSDescritpion.Files, nullptr);
    EXPECT_EQ(vg_TFSDescritpion.NbDir, 0);
    EXPECT_EQ(vg_TFSDescritpion.MaxFiles, 0u);
    EXPECT_EQ(vg_TFSDescritpion.NbFiles, 0u);
    EXPECT_EQ(vg_TFSDescritpion.TotalSize, 0u);
}

} // namespace

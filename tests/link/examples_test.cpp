// The sample files under examples/: CR LF text, binaries that match their generator.
#include "tests/support/sample_data.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string example(const std::string& name) {
    return testsupport::sourceDir() + "/examples/" + name;
}

TEST(Examples, TextFilesUseCrLf) {
    for (const char* name : {"flash.txt", "sample.cfg"}) {
        std::vector<uint8_t> text = testsupport::readBytes(example(name));
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.back(), '\n') << name;
        for (size_t i = 0; i < text.size(); i++) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " at " << i;
            }
            if (text[i] == '\r') {
                ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << name << " at " << i;
            }
        }
    }
}

TEST(Examples, BinariesMatchTheirGenerator) {
    struct Sample {
        const char* name;
        uint32_t seed;
        size_t size;
    };
    for (const Sample& s : {Sample{"sample.bin", 1, 300000}, Sample{"sample.ogm", 2, 102401},
                            Sample{"dwl87.spm", 87, 4000}, Sample{"dwl88.spm", 88, 20000}}) {
        EXPECT_EQ(testsupport::readBytes(example(s.name)), testsupport::sampleBytes(s.seed, s.size))
            << s.name;
    }
    EXPECT_EQ(testsupport::readBytes(example("sample.tfs")), testsupport::sampleTfsImage());
}

TEST(Examples, SampleDescriptionListsTheGeneratedFiles) {
    std::vector<uint8_t> cfg = testsupport::readBytes(example("sample.cfg"));
    std::string text(cfg.begin(), cfg.end());
    for (const auto& f : testsupport::kSampleTfsFiles) {
        std::string entry = std::string("FILE_NAME : ") + f.name +
                            "\r\nFILE_SIZE : " + std::to_string(f.size) + "\r\n";
        EXPECT_NE(text.find(entry), std::string::npos) << f.name;
    }
}

} // namespace

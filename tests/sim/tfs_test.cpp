// The TFS conversation and the format request, from the handset's side.
#include "tests/sim/sim_fixture.h"

#include "link/rs232.h"

#include <string>

using namespace simtest;

namespace {

std::vector<uint8_t> NameField(const std::string& name) {
    std::vector<uint8_t> field(512, 0xFF);
    std::copy(name.begin(), name.end(), field.begin());
    if (name.size() < 512) field[name.size()] = 0;
    return field;
}

std::vector<uint8_t> Be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

class Tfs : public SimTest {
  protected:
    int third() { return read(3)[2]; }
    void version(const std::string& text) {
        std::vector<uint8_t> v(16, 0);
        std::copy(text.begin(), text.end(), v.begin());
        send(v);
    }
};

TEST_F(Tfs, WholeConversationBuildsTheFileSystem) {
    start(runningConfig());
    send({0x44});
    EXPECT_EQ(ComRdByte(kPort), 0x77);
    version("V2.10");
    EXPECT_EQ(third(), 0x72);
    send(Be32(2));
    EXPECT_EQ(third(), 0x6F);
    send(NameField("/a"));
    EXPECT_EQ(third(), 0x73);
    send(NameField(std::string(512, 'd'))); // a full field has no NUL
    EXPECT_EQ(third(), 0x73);
    send({0x76, 0, 0, 0, 3});
    EXPECT_EQ(ComRdByte(kPort), -99); // the file count is not answered

    std::vector<uint8_t> small = Pattern(300, 1), big = Pattern(8193, 2);
    auto header = [&](const std::string& name, uint32_t size) {
        std::vector<uint8_t> h = NameField(name);
        std::vector<uint8_t> s = Be32(size);
        h.insert(h.end(), s.begin(), s.end());
        send(h);
    };
    header("/a/x", 300);
    EXPECT_EQ(third(), 0x7D);
    send(small);
    EXPECT_EQ(third(), 0x7E);
    EXPECT_EQ(third(), 0x7F);
    header("/a/empty", 0);
    EXPECT_EQ(read(9), Ints({0, 0, 0x7D, 0, 0, 0x7E, 0, 0, 0x7F}));
    header("/big", 8193);
    EXPECT_EQ(third(), 0x7D);
    send(std::vector<uint8_t>(big.begin(), big.begin() + 8192));
    EXPECT_EQ(third(), 0x7E);
    send({big.back()});
    EXPECT_EQ(third(), 0x7E);
    EXPECT_EQ(third(), 0x7F);
    send({0x79});
    EXPECT_EQ(third(), 0x7A);
    uint32_t sum = Sum(small) + Sum(big);
    EXPECT_EQ(read(4), Ints({int(sum & 0xFF), int((sum >> 8) & 0xFF), int((sum >> 16) & 0xFF),
                             int(sum >> 24)}));

    const sim::TfsContents& tfs = handset().tfs();
    EXPECT_TRUE(tfs.mounted);
    EXPECT_TRUE(tfs.ended);
    EXPECT_EQ(tfs.version, "V2.10");
    ASSERT_EQ(tfs.dirs.size(), 2u);
    EXPECT_EQ(tfs.dirs[0], "/a");
    EXPECT_EQ(tfs.dirs[1].size(), 512u);
    ASSERT_EQ(tfs.files.size(), 3u);
    EXPECT_EQ(tfs.files[0].name, "/a/x");
    EXPECT_EQ(tfs.files[0].data, small);
    EXPECT_TRUE(tfs.files[1].data.empty());
    EXPECT_TRUE(tfs.files[1].closed);
    EXPECT_EQ(tfs.files[2].data, big);
    EXPECT_EQ(tfs.checksum, sum);
}

TEST_F(Tfs, NoDirectoriesNoFiles) {
    start(runningConfig());
    send({0x44});
    EXPECT_EQ(ComRdByte(kPort), 0x77);
    version(std::string(16, 'v'));
    EXPECT_EQ(third(), 0x72);
    send(Be32(0));
    EXPECT_EQ(third(), 0x6F);
    send({0x76, 0, 0, 0, 0, 0x79});
    EXPECT_EQ(third(), 0x7A);
    EXPECT_EQ(read(4), Ints({0, 0, 0, 0}));
    EXPECT_EQ(handset().tfs().version, std::string(16, 'v'));
}

TEST_F(Tfs, StartErrorsAndChecksumDelta) {
    for (uint8_t error : {uint8_t{0xA1}, uint8_t{0xA5}}) {
        sim::HandsetConfig config = runningConfig();
        config.faults.tfsStartError = error;
        config.faults.tfsStartErrorNumber = 5;
        start(config);
        send({0x44});
        EXPECT_EQ(read(2), Ints({error, 5}));
        EXPECT_FALSE(handset().tfs().mounted);
        send({0xE9}); // still in command state
        EXPECT_EQ(ComRdByte(kPort), 0xCA);
    }
    sim::HandsetConfig config = runningConfig();
    config.faults.tfsChecksumDelta = 1;
    start(config);
    send({0x44});
    ComRdByte(kPort);
    version("x");
    third();
    send(Be32(0));
    third();
    send({0x76, 0, 0, 0, 1});
    std::vector<uint8_t> h = NameField("f");
    h.insert(h.end(), {0, 0, 0, 2});
    send(h);
    third();
    send({0x10, 0x20});
    read(6);
    send({0x79});
    third();
    EXPECT_EQ(read(4), Ints({0x31, 0, 0, 0}));
}

TEST_F(Tfs, MalformedFileCountBreaksOffTheConversation) {
    start(runningConfig());
    send({0x44});
    ComRdByte(kPort);
    version("x");
    third();
    send(Be32(0));
    third();
    send({0x75});
    EXPECT_TRUE(handset().tfs().aborted);
    send({0xE9});
    EXPECT_EQ(ComRdByte(kPort), 0xCA);
}

TEST_F(Tfs, FormatAnswersAndClearsTheFileSystem) {
    start(runningConfig());
    send({0x44});
    ComRdByte(kPort);
    version("x");
    third();
    send(Be32(1));
    third();
    send(NameField("/d"));
    third();
    send({0x76, 0, 0, 0, 0, 0x79});
    read(7);
    ASSERT_EQ(handset().tfs().dirs.size(), 1u);
    send({0x10});
    EXPECT_EQ(read(8), Ints({0x57, 0x44, 0x91, 0x92, 0x93, 0x22, 0x23, 0x20}));
    EXPECT_TRUE(handset().tfs().formatted);
    EXPECT_TRUE(handset().tfs().dirs.empty());
}

} // namespace

// What the command line tells about the serial line: the trace file, the report of a failed
// run, and the sectors of the JSON summary.
#include "tests/cli/dwl_program.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

using clitest::examples;
using clitest::quoted;
using clitest::runDwl;

namespace {

std::string sampleBin() {
    return quoted(examples() + "/sample.bin");
}

// The JSON object of the sector at address in the summary, or empty.
std::string sectorObject(const std::string& json, unsigned address) {
    const size_t at = json.find("\"address\": " + std::to_string(address) + ",");
    if (at == std::string::npos) return "";
    const size_t begin = json.rfind('{', at);
    const size_t end = json.find('}', at);
    return json.substr(begin, end - begin + 1);
}

TEST(LineReport, ResentSectorInTheJsonSummary) {
    const clitest::Run run =
        runDwl("flash --sim --json --bin " + sampleBin() + " --sim-bad-checksum 0x02010000");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(sectorObject(run.out, 0x02010000),
              "{\"image\": \"binary\", \"address\": 33619968, \"size\": 65536, \"bytes_sent\": "
              "65536, \"tries\": 2, \"result\": \"resent\"}");
    EXPECT_NE(sectorObject(run.out, 0x02000000).find("\"tries\": 1, \"result\": \"written\""),
              std::string::npos);
    // The binary's range ends with the image: nothing beyond it is listed.
    EXPECT_EQ(sectorObject(run.out, 0x02050000), "");
}

TEST(LineReport, FailedRunTellsWhereItStoppedAndTheLastBytes) {
    testsupport::TempDir dir;
    const std::string trace = dir.file("run.trace");
    const clitest::Run run = runDwl("flash --sim --bin " + sampleBin() +
                                    " --sim-silent-from SectorAck:2 --trace " + quoted(trace));
    EXPECT_EQ(run.status, 13) << run.err;
    EXPECT_TRUE(run.has("dwl: the run stopped at step: acknowledgement 0x02020000 sum 0x"));
    EXPECT_TRUE(run.has("dwl: last 64 bytes PC>HS: "));
    // Two sectors acknowledged, with their sums: CC and four bytes each, the last received.
    EXPECT_TRUE(run.has("dwl: last 30 bytes HS>PC: BE 44 A0"));
    std::ifstream in(trace);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("time-out 460800 8N1  acknowledgement 0x02020000"),
              std::string::npos);

    const clitest::Run good = runDwl("flash --sim --bin " + sampleBin());
    EXPECT_EQ(good.status, 0);
    EXPECT_FALSE(good.has("the run stopped at step"));
}

} // namespace

// What the command line tells about the serial line: the trace file, the report of a failed
// run, and the sectors of the JSON summary.
#include "tests/app/cli/dwl_program.h"
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

// The sector at address in the JSON summary's list, or null.
nlohmann::json sectorAt(const nlohmann::json& summary, unsigned address) {
    for (const nlohmann::json& s : summary["sectors"])
        if (s["address"] == address) return s;
    return nullptr;
}

TEST(LineReport, ResentSectorInTheJsonSummaryAndTheLog) {
    testsupport::TempDir dir;
    const clitest::Run run =
        runDwl("flash --sim --json --bin " + sampleBin() + " --sim-bad-checksum 0x02010000 --log " +
               quoted(dir.file("run.log")));
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = run.json();
    EXPECT_EQ(sectorAt(j, 0x02010000), nlohmann::json({{"image", "binary"},
                                                       {"address", 0x02010000},
                                                       {"size", 65536},
                                                       {"bytes_sent", 65536},
                                                       {"tries", 2},
                                                       {"result", "resent"}}));
    EXPECT_EQ(sectorAt(j, 0x02000000)["result"], "written");
    EXPECT_EQ(sectorAt(j, 0x02000000)["tries"], 1);
    // The binary's range ends with the image (300000 bytes, five sectors of 64 KB): nothing
    // beyond it is listed.
    EXPECT_EQ(j["sectors"].size(), 5u);
    EXPECT_TRUE(sectorAt(j, 0x02050000).is_null());
    // The log names the resent sector alone, then ends with the result line.
    std::ifstream in(dir.file("run.log"));
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    const size_t resent = log.find("  resent binary sector 0x02010000: 2 tries\n");
    ASSERT_NE(resent, std::string::npos) << log;
    EXPECT_EQ(log.find("  resent ", resent + 1), std::string::npos) << log;
    const size_t result = log.find("  result: Download successful (family 0, code 0, exit 0, ");
    ASSERT_NE(result, std::string::npos) << log;
    EXPECT_GT(result, resent);
    EXPECT_EQ(log.find('\n', result), log.size() - 1);
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

    // The JSON summary's sectors: the one it stopped on failed, the ones after it untouched.
    const clitest::Run json =
        runDwl("flash --sim --json --bin " + sampleBin() + " --sim-silent-from SectorAck:2");
    EXPECT_EQ(sectorAt(json.json(), 0x02010000)["result"], "written");
    EXPECT_EQ(sectorAt(json.json(), 0x02020000)["result"], "failed");
    EXPECT_EQ(sectorAt(json.json(), 0x02030000)["result"], "untouched");

    const clitest::Run good = runDwl("flash --sim --bin " + sampleBin());
    EXPECT_EQ(good.status, 0);
    EXPECT_FALSE(good.has("the run stopped at step"));
}

} // namespace

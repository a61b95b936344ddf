// The station's parts that Windows has its own way: the journal that another port's process may
// hold open while its runs go into the database, and the sleep on the port processes' pipes.
#include "app/results/results_db.h"
#include "app/results/results_journal.h"
#include "app/station/station_signals.h"
#include "link/child_process.h"
#include "link/program_folder.h"
#include "tests/support/temp_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

namespace {

dwlcli::RunRecord plainRun(double at) {
    dwlcli::RunReport report;
    report.port = "COM1";
    report.device = "\\\\.\\COM1";
    report.result.message = "Download successful";
    return dwlcli::makeRunRecord(report, at, at + 9, 9, "s");
}

size_t rowCount(const std::string& file) {
    dwlcli::ResultsDb db;
    std::vector<dwlcli::StoredRun> runs;
    std::string why;
    EXPECT_TRUE(db.openForReading(file, &why) && db.select({}, &runs, &why)) << why;
    return runs.size();
}

TEST(StationParts, AJournalHeldByAnotherProcessIsEmptiedAndTakesTheNextRun) {
    testsupport::TempDir dir;
    const std::string file = dir.file("r.sqlite");
    const std::string journal = dwlcli::journalPath(file);
    dwlcli::ResultsDb db;
    std::string why;
    ASSERT_TRUE(db.openForWriting(file, &why)) << why;
    ASSERT_TRUE(dwlcli::journalAppend(file, dwlcli::runColumnValues(plainRun(1.8e9)), &why));
    {
        std::ofstream cut(journal, std::ios::app | std::ios::binary);
        cut << R"({"run_id":"cut)";
    }
    ASSERT_TRUE(dwlcli::journalAppend(file, dwlcli::runColumnValues(plainRun(1.8e9 + 60)), &why));
    EXPECT_EQ(dwlcli::journalCount(file), 2);
    // Another port's process has it open (as between its open and its lock).
    const HANDLE other =
        CreateFileA(journal.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    long long waiting = -1;
    EXPECT_TRUE(dwlcli::journalReplay(file, &db, &waiting, &why)) << why;
    EXPECT_EQ(waiting, 0);
    EXPECT_EQ(dwlcli::journalCount(file), 0);
    // What that process appends through its handle now is kept, and goes in at the next replay
    // (a journal removed instead would take it along).
    const std::string scratch = dir.file("scratch.sqlite");
    ASSERT_TRUE(
        dwlcli::journalAppend(scratch, dwlcli::runColumnValues(plainRun(1.8e9 + 120)), &why));
    std::ifstream lineFile(dwlcli::journalPath(scratch), std::ios::binary);
    const std::string line((std::istreambuf_iterator<char>(lineFile)),
                           std::istreambuf_iterator<char>());
    LARGE_INTEGER end{};
    DWORD written = 0;
    ASSERT_TRUE(SetFilePointerEx(other, end, nullptr, FILE_END) &&
                WriteFile(other, line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    CloseHandle(other);
    EXPECT_EQ(dwlcli::journalCount(file), 1);
    EXPECT_TRUE(dwlcli::journalReplay(file, &db, &waiting, &why)) << why;
    EXPECT_EQ(rowCount(file), 3u);
}

TEST(StationParts, TheSleepOnThePipesWakesForBytesTheirEndAndItsDeadlineAndAStop) {
    // Standard input on a pipe, as the GUI starts the station: a byte 2 is a Ctrl-C.
    HANDLE stopRead = nullptr, stopWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&stopRead, &stopWrite, nullptr, 0));
    const HANDLE stdinBefore = GetStdHandle(STD_INPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, stopRead);
    // As the station window starts it: its stops on that pipe.
    SetEnvironmentVariableW(L"DWL_STOP_PIPE", L"1");
    const dwlcli::StationSignals signals;
    SetStdHandle(STD_INPUT_HANDLE, stdinBefore);
    const std::string echo = dwl_ProgramFolder() + "\\dwl_echo_args.exe";
    ChildOptions options;
    options.out = kChildPipe;
    ChildHandle child;
    ASSERT_TRUE(dwl_StartProgram(echo, {"a b"}, options, &child));
    std::string got;
    bool ended = false;
    while (!ended) {
        const std::vector<dwlcli::PipeBytes> came = signals.wait({child.out}, 10.0);
        ASSERT_FALSE(came.empty()) << "no wake-up for the pipe";
        for (const dwlcli::PipeBytes& b : came) {
            EXPECT_EQ(b.fd, child.out);
            ended = ended || b.bytes.empty();
            got += b.bytes;
        }
    }
    EXPECT_EQ(got, "[a b]\r\n");
    dwl_WaitChild(&child, -1, nullptr);
    dwl_CloseChildPipes(&child);

    // A child that writes once and then nothing: the sleep ends at its deadline.
    ASSERT_TRUE(dwl_StartProgram(echo, {"hang"}, options, &child));
    EXPECT_EQ(signals.wait({child.out}, 10.0).size(), 1u);
    const DWORD before = GetTickCount();
    EXPECT_TRUE(signals.wait({child.out}, 0.2).empty());
    EXPECT_GE(GetTickCount() - before, 150u);
    dwl_EndChild(&child, 0);
    // Its end comes as the end of the pipe.
    const std::vector<dwlcli::PipeBytes> end = signals.wait({child.out}, 10.0);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_TRUE(end[0].bytes.empty());
    dwl_CloseChildPipes(&child);

    // A stop wakes the sleep on no pipe at all, and is counted.
    const unsigned char interrupt = 2;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(stopWrite, &interrupt, 1, &written, nullptr));
    const DWORD stopAt = GetTickCount();
    EXPECT_TRUE(signals.wait({}, 10.0).empty());
    EXPECT_LT(GetTickCount() - stopAt, 5000u);
    EXPECT_EQ(dwlcli::StationSignals::interrupts(), 1);
    EXPECT_FALSE(dwlcli::StationSignals::terminated());
    CloseHandle(stopWrite);
}

} // namespace

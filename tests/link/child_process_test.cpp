// The one way the programs start their children: the streams go where they are asked, a child
// holds none of the files it is told to drop, the waits end at their deadline, and the end of a
// child that will not stop is a kill; the arguments arrive as they were given, on Windows too
// where they go through one command line.
#include "link/child_process.h"
#include "link/program_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include <string>

namespace {

// All that fd gives up to its end (the child's end of the pipe closes when it ends).
std::string readToEnd(int fd) {
    std::string got;
    char buffer[256];
    for (int n; (n = static_cast<int>(read(fd, buffer, sizeof buffer))) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    return got;
}

std::string echoProgram() {
#ifdef _WIN32
    return dwl_ProgramFolder() + "\\dwl_echo_args.exe";
#else
    return dwl_ProgramFolder() + "/dwl_echo_args";
#endif
}

TEST(ChildProcess, ArgumentsArriveAsGiven) {
    // Blanks, quotes and backslashes where the command line's splitting treats them apart:
    // before a quote, at the end of a quoted argument, alone; an empty argument.
    const std::vector<std::string> args = {"plain",       "two words",   "",
                                           "say \"hi\"",  "back\\slash", "end\\",
                                           "end blank\\", "\\\\\"",      "tab\there",
                                           "a\\\\b c",    "\"",          "C:\\Program Files\\x\\"};
    ChildOptions options;
    options.out = kChildPipe;
    ChildHandle child;
    ASSERT_TRUE(dwl_StartProgram(echoProgram(), args, options, &child)) << child.error;
    std::string expected;
    for (const std::string& a : args)
        expected += "[" + a + "]\n";
    std::string got = readToEnd(child.out);
    // The Windows C run-time writes its text lines with CR LF.
    for (size_t cr; (cr = got.find("\r\n")) != std::string::npos;)
        got.erase(cr, 1);
    EXPECT_EQ(got, expected);
    int status = -1;
    ASSERT_TRUE(dwl_WaitChild(&child, -1, &status));
    EXPECT_TRUE(dwl_ChildExitedWith(status, 0));
    dwl_CloseChildPipes(&child);

    // A program that is not there does not run (Windows) or ends at once with 127 (POSIX).
    if (dwl_StartProgram(echoProgram() + ".missing", {}, options, &child)) {
        ASSERT_TRUE(dwl_WaitChild(&child, -1, &status));
        EXPECT_EQ(dwl_ChildExitStatus(status, -1), 127);
        dwl_CloseChildPipes(&child);
    } else {
        EXPECT_NE(child.error, 0);
        EXPECT_EQ(child.out, -1);
    }
}

#ifdef _WIN32
TEST(ChildProcess, AStopIsAByteOnItsInputAndAStubbornChildIsTerminated) {
    ChildOptions options;
    options.in = options.out = kChildPipe;
    options.parentDeathSignal = SIGTERM; // a failed test takes it along
    ChildHandle child;
    ASSERT_TRUE(dwl_StartProgram(echoProgram(), {"stop"}, options, &child));
    char c = 0;
    ASSERT_EQ(read(child.out, &c, 1), 1);
    int status = -1;
    EXPECT_FALSE(dwl_WaitChild(&child, 20, &status));
    dwl_SignalChild(child, SIGINT);
    ASSERT_TRUE(dwl_WaitChild(&child, 10000, &status));
    EXPECT_EQ(dwl_ChildExitStatus(status, -1), SIGINT);
    dwl_CloseChildPipes(&child);

    // One that reads no stop is terminated once its grace is over.
    ASSERT_TRUE(dwl_StartProgram(echoProgram(), {"hang"}, options, &child));
    ASSERT_EQ(read(child.out, &c, 1), 1);
    status = dwl_EndChild(&child, 50);
    EXPECT_EQ(dwl_ChildExitStatus(status, -1), 137);
    EXPECT_EQ(child.pid, -1);
    EXPECT_FALSE(dwl_WaitChild(&child, 0, &status));
    dwl_CloseChildPipes(&child);
}
#else
} // namespace

#include <poll.h>

namespace {

// What is readable on fd within timeoutMs, up to its end.
std::string readAll(int fd, int timeoutMs) {
    std::string got;
    char buffer[256];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) == 1) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

TEST(ChildProcess, StreamsGroupAndStatusAreWhatWasAsked) {
    ChildOptions options;
    options.in = options.out = options.err = kChildPipe;
    options.ownGroup = true;
    ChildHandle child;
    ASSERT_TRUE(dwl_StartFunction(
        [] {
            char c = 0;
            while (read(STDIN_FILENO, &c, 1) == 1)
                if (write(STDOUT_FILENO, &c, 1) != 1) return 1;
            fputs("to stderr", stderr);
            return getpgrp() == getpid() ? 7 : 8;
        },
        options, &child));
    ASSERT_EQ(write(child.in, "echo", 4), 4);
    close(child.in);
    child.in = -1;
    EXPECT_EQ(readAll(child.out, 5000), "echo");
    EXPECT_EQ(readAll(child.err, 5000), "to stderr");
    int status = 0;
    ASSERT_TRUE(dwl_WaitChild(&child, -1, &status));
    EXPECT_EQ(child.pid, -1);
    EXPECT_EQ(dwl_ChildExitStatus(status, -1), 7);
    EXPECT_TRUE(dwl_ChildExitedWith(status, 7));
    dwl_CloseChildPipes(&child);

    // A program that cannot be run ends at once with 127; its stdout pipe just ends.
    ASSERT_TRUE(dwl_StartProgram("/nonexistent/program", {"x"}, options, &child));
    EXPECT_EQ(readAll(child.out, 5000), "");
    ASSERT_TRUE(dwl_WaitChild(&child, -1, &status));
    EXPECT_EQ(dwl_ChildExitStatus(status, -1), 127);
    dwl_CloseChildPipes(&child);
}

TEST(ChildProcess, DroppedFilesEndAndAStubbornChildIsKilledAfterItsGrace) {
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    ChildOptions options;
    options.closeInChild = {held[1]};
    options.parentDeathSignal = SIGKILL; // a failed test takes it along
    options.out = kChildPipe;
    ChildHandle child;
    // It ignores SIGTERM, says so, and sleeps until it is killed.
    ASSERT_TRUE(dwl_StartFunction(
        [] {
            signal(SIGTERM, SIG_IGN);
            if (write(STDOUT_FILENO, "r", 1) != 1) return 1;
            for (;;)
                pause();
            return 0;
        },
        options, &child));
    // The child holds no writing end: the pipe ends as soon as ours is closed.
    close(held[1]);
    pollfd p{held[0], POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    char c = 0;
    EXPECT_EQ(read(held[0], &c, 1), 0);
    close(held[0]);
    p = {child.out, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);

    int status = 0;
    EXPECT_FALSE(dwl_WaitChild(&child, 20, &status));
    EXPECT_GT(child.pid, 0);
    status = dwl_EndChild(&child, 50);
    EXPECT_EQ(dwl_ChildExitStatus(status, -1), 128 + SIGKILL);
    EXPECT_EQ(child.pid, -1);
    // Once it is gone, the calls on it do nothing.
    dwl_SignalChild(child, SIGKILL);
    EXPECT_FALSE(dwl_WaitChild(&child, 0, &status));
    dwl_CloseChildPipes(&child);
}
#endif

} // namespace

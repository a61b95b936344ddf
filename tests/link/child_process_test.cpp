// The one way the programs start their children: the streams go where they are asked, a child
// holds none of the files it is told to drop, the waits end at their deadline, and the end of a
// child that will not stop is a kill. (The POSIX implementation; Windows has none yet.)
#ifndef _WIN32
#include "link/child_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <unistd.h>

#include <string>

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

} // namespace
#endif

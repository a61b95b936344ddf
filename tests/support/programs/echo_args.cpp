// A child for the child-process tests: writes each argument it got between [ and ] on a line of
// its own; with the single argument "stop", writes "r" and ends with the value of the first byte
// on its standard input (0 at its end), reading nothing more; with "hang", writes "r" and
// sleeps until it is ended.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "stop") == 0) {
        std::fputs("r", stdout);
        std::fflush(stdout);
        const int c = std::getchar();
        return c == EOF ? 0 : c;
    }
    if (argc == 2 && std::strcmp(argv[1], "hang") == 0) {
        std::fputs("r", stdout);
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    for (int i = 1; i < argc; i++)
        std::printf("[%s]\n", argv[i]);
    return 0;
}

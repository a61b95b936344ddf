// Stands in for `dwl station --json-lines` in the station window's tests: prints the lines of
// the script named by $FAKE_STATION_SCRIPT, one at a time. Lines starting with '!' act:
//   !int       wait for SIGINT (one that came earlier counts)
//   !err TEXT  TEXT on standard error
//   !args      the arguments it was started with on standard error: "args: ..."
//   !stdin     a line of its standard input, on standard error: "stdin: LINE"
//   !exit N    end with status N
//   !abort     end by a signal
// Started as `results --db DB --html FILE` it stands in for the report: FILE gets "report of DB".
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, nullptr);

    if (argc == 6 && std::strcmp(argv[1], "results") == 0 && std::strcmp(argv[4], "--html") == 0) {
        std::ofstream page(argv[5]);
        page << "report of " << argv[3];
        return page ? 0 : 74;
    }
    const char* path = std::getenv("FAKE_STATION_SCRIPT");
    std::ifstream script(path != nullptr ? path : "");
    if (!script) {
        std::fprintf(stderr, "fake station: no script\n");
        return 70;
    }
    std::string line;
    while (std::getline(script, line)) {
        if (line == "!int") {
            int got = 0;
            sigwait(&interrupt, &got);
        } else if (line.rfind("!err ", 0) == 0) {
            std::fprintf(stderr, "%s\n", line.c_str() + 5);
            std::fflush(stderr);
        } else if (line == "!args") {
            std::string args = "args:";
            for (int i = 1; i < argc; i++)
                args += std::string(" ") + argv[i];
            std::fprintf(stderr, "%s\n", args.c_str());
            std::fflush(stderr);
        } else if (line == "!stdin") {
            std::string got;
            for (int c; (c = std::getchar()) != EOF && c != '\n';)
                got += static_cast<char>(c);
            std::fprintf(stderr, "stdin: %s\n", got.c_str());
            std::fflush(stderr);
        } else if (line.rfind("!exit ", 0) == 0) {
            return std::atoi(line.c_str() + 6);
        } else if (line == "!abort") {
            std::abort();
        } else {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}

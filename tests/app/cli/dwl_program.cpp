#include "tests/app/cli/dwl_program.h"

#include "tests/support/temp_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace clitest {

std::string dwlProgram() {
    const std::string dir = testsupport::binaryDir();
    return (dir.empty() ? std::string(".") : dir) + "/app/dwl";
}

std::string examples() {
    return testsupport::sourceDir() + "/examples";
}

std::string quoted(const std::string& path) {
    std::string out = "'";
    for (char c : path) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

Run runDwl(const std::string& args, const std::string& cwd) {
    testsupport::TempDir scratch;
    const std::string errFile = scratch.file("stderr");
    std::string command;
    if (!cwd.empty()) command = "cd " + quoted(cwd) + " && ";
    command += "timeout -k 5 60 " + quoted(dwlProgram()) + " " + args + " 2>" + quoted(errFile);
    Run run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    return run;
}

} // namespace clitest

// Runs the built dwl program as a user would and keeps what it printed.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace clitest {

struct Run {
    int status = -1; // exit status
    std::string out; // standard output
    std::string err; // standard error
    bool has(const std::string& text) const {
        return out.find(text) != std::string::npos || err.find(text) != std::string::npos;
    }
    // Standard output read as JSON; discarded (is_discarded()) when it is not valid JSON.
    nlohmann::json json() const { return nlohmann::json::parse(out, nullptr, false); }
};

// The program under test (DWL_BINARY_DIR/app/dwl).
std::string dwlProgram();
// Runs `dwl <args>` through the shell (args quoted by the caller), in folder `cwd` when given,
// killed after a minute so that a hang fails the test instead of blocking it.
Run runDwl(const std::string& args, const std::string& cwd = "");
// Quotes a path for the shell.
std::string quoted(const std::string& path);
// The examples folder of the source tree.
std::string examples();

} // namespace clitest

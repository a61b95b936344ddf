// Runs the built dwl program as a user would and keeps what it printed.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

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
// A file of examples/, quoted for the shell.
std::string sample(const char* name);

// Runs dwl (args given one by one, no shell) with its standard output on a pipe whose reading
// end is closed before dwl starts: every write to it fails.
Run runDwlIntoClosedPipe(const std::vector<std::string>& args);

// Runs dwl with `--trace fifo --trace-data full` added, reads the trace until a line holds
// `marker`, stops reading (a full trace of the rest of the run does not fit in the pipe, so the
// run cannot end meanwhile), sends `signal`, then reads everything to the end. A run that never
// shows the marker is killed after a minute. `second`, when not 0, follows half a millisecond
// later, while the run ends after the first.
Run runDwlSignalledAt(const std::vector<std::string>& args, const std::string& fifo,
                      const std::string& marker, int signal, int second = 0);

} // namespace clitest

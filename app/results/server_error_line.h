// What an operator reads when the results server cannot be used: one clear line per cause,
// made from libpq's message.
#pragma once

#include <string>

namespace dwlcli {

// The line for a connection that failed: "results server: wrong password for user U",
// "results server: unknown host H", "results server: connection refused at H:P",
// "results server: unreachable (time-out): ...", and so on; libpq's own first line for a cause
// it does not name. `user` is the user the connection asked for.
std::string connectionErrorLine(const std::string& libpqMessage, const std::string& user);

// The line for a statement that failed on an open connection ("results server: connection
// lost" when the server went away).
std::string statementErrorLine(const std::string& libpqMessage);

} // namespace dwlcli

// Where the runs are recorded: an SQLite file, or the line's PostgreSQL results server named by
// a libpq connection string. Read by both programs, neither of which needs libpq for it.
#pragma once

#include <string>

namespace dwlcli {

// The default file: in the working folder.
constexpr char kDefaultResultsFile[] = "results.sqlite";

// A libpq connection string ("postgresql://USER@HOST/DB", "postgres://...",
// "host=H dbname=D ...") rather than the name of a file.
bool isServerAddress(const std::string& text);
// The address without its password, to show: "postgresql://station@line-db:5432/dwl"; "the
// results server" when it cannot be read.
std::string serverDisplayName(const std::string& address);

// Whether this build passes runs on to a results server (not the Windows build: it has no
// libpq), and the line that says it does not.
bool serverForwardingInBuild();
std::string serverForwardingMissing();

} // namespace dwlcli

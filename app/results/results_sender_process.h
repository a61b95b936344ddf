// The sender in a process of its own, for a station: the station forks its port processes, and
// a thread of the station's own (holding a lock of SQLite or libpq at the moment of a fork)
// could leave a port's process stuck. Started before the ports, the sender is the station's
// child and dies with it; the station reads its status as event lines.
//
// Its standard output carries one line {"event":"server",...} (serverEvent) after each attempt
// and each batch sent: at least every few seconds. SIGUSR1 asks for an attempt now (a run was
// recorded); SIGTERM, SIGINT or SIGHUP end it after one last attempt, so that the last runs go
// too when the server takes them.
#pragma once

#include "app/results/results_sender.h"
#include "link/child_process.h"

#include <sys/types.h>

#include <string>

namespace dwlcli {

// Starts the sender of the local file's runs to the server at `address`, in its own process
// group (a Ctrl-C at the terminal is the station's to pass on). True with the process in
// *sender, the reading end of its event lines in sender->out; false when it could not start
// (the reason in *why).
bool startResultsSender(const std::string& localFile, const std::string& address,
                        ChildHandle* sender, std::string* why);
// The same with its pid and the reading end of its event lines in *events; -1 when it could not
// start.
pid_t startResultsSender(const std::string& localFile, const std::string& address, int* events,
                         std::string* why);

// The body of that process: sends until a stop signal arrives, writing event lines to `out`.
// Returns the process's exit status.
int runResultsSender(const std::string& localFile, const std::string& address, int out);

// Reads an event line of the sender into *status (the time of reading is `now`). False when the
// line is not a server event.
bool readServerEvent(const std::string& line, double now, SenderStatus* status);

} // namespace dwlcli

// The Windows build has no libpq: the runs stay in their SQLite files, and the results server's
// calls answer that forwarding is not here. The commands refuse a server's address before they
// get this far (serverForwardingMissing); these are the last guard.
#include "app/results/results_sender_process.h"
#include "app/results/results_server.h"
#include "app/run/exit_status.h"

namespace dwlcli {

ResultsServer::~ResultsServer() = default;

bool ResultsServer::open(const std::string& address, std::string* why) {
    return open(address, kServerSchemaVersion, why);
}

bool ResultsServer::open(const std::string&, int, std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

void ResultsServer::close() {}

bool ResultsServer::store(const UnsentRuns&, int*, std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

bool ResultsServer::ping(std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

bool ResultsServer::select(const RunFilter&, std::vector<StoredRun>*, std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

bool ResultsServer::selectAll(const RunFilter&, std::vector<std::vector<std::string>>*,
                              std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

bool startResultsSender(const std::string&, const std::string&, ChildHandle*, std::string* why) {
    *why = serverForwardingMissing();
    return false;
}

pid_t startResultsSender(const std::string&, const std::string&, int* events, std::string* why) {
    *events = -1;
    *why = serverForwardingMissing();
    return -1;
}

int runResultsSender(const std::string&, const std::string&, int) {
    return kExitUsage;
}

bool readServerEvent(const std::string&, double, SenderStatus*) {
    return false;
}

} // namespace dwlcli

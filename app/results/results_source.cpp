#include "app/results/results_source.h"

#include "app/results/results_server.h"

namespace dwlcli {

bool readStoredRuns(const std::string& source, const RunFilter& filter,
                    std::vector<StoredRun>* runs, std::string* why) {
    if (isServerAddress(source)) {
        ResultsServer server;
        return server.open(source, why) && server.select(filter, runs, why);
    }
    ResultsDb db;
    return db.openForReading(source, why) && db.select(filter, runs, why);
}

bool readRunTable(const std::string& source, const RunFilter& filter,
                  std::vector<std::vector<std::string>>* table, std::string* why) {
    if (isServerAddress(source)) {
        ResultsServer server;
        return server.open(source, why) && server.selectAll(filter, table, why);
    }
    ResultsDb db;
    return db.openForReading(source, why) && db.selectAll(filter, table, why);
}

} // namespace dwlcli

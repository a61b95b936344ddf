#include "app/results/results_journal.h"

#include "app/results/journal_file.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>

namespace dwlcli {

namespace {

// The whole lines of the journal as rows.
std::vector<std::vector<StoredValue>> rowsOf(const std::string& text) {
    std::vector<std::vector<StoredValue>> rows;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        const nlohmann::json j = nlohmann::json::parse(text.substr(at, nl - at), nullptr, false);
        if (!j.is_object() || !j.contains("run_id")) continue; // cut short by a crash
        std::vector<StoredValue> row(kRunColumns);
        for (int i = 0; i < kRunColumns; i++) {
            const auto v = j.find(a_RunColumns[i].name);
            if (v != j.end() && v->is_string()) row[i] = {false, v->get<std::string>()};
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace

std::string journalPath(const std::string& resultsFile) {
    return resultsFile + ".unrecorded.jsonl";
}

bool journalAppend(const std::string& resultsFile, const std::vector<StoredValue>& values,
                   std::string* why) {
    nlohmann::ordered_json row;
    for (int i = 0; i < kRunColumns && i < static_cast<int>(values.size()); i++)
        if (values[i].isNull)
            row[a_RunColumns[i].name] = nullptr;
        else
            row[a_RunColumns[i].name] = values[i].text;
    const std::string path = journalPath(resultsFile);
    const int fd = journalOpenLocked(path, true, why);
    if (fd < 0) return false;
    const std::string line =
        row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const bool ok = journalAppendDurably(fd, line);
    if (!ok) *why = "cannot write " + path + ": " + strerror(errno);
    journalClose(fd);
    return ok;
}

long long journalCount(const std::string& resultsFile) {
    std::string ignored;
    const int fd = journalOpenLocked(journalPath(resultsFile), false, &ignored);
    if (fd < 0) return 0;
    const long long count = static_cast<long long>(rowsOf(journalReadAll(fd)).size());
    journalClose(fd);
    return count;
}

bool journalReplay(const std::string& resultsFile, ResultsDb* db, long long* waiting,
                   std::string* why) {
    *waiting = 0;
    const std::string path = journalPath(resultsFile);
    why->clear();
    const int fd = journalOpenLocked(path, false, why);
    if (fd < 0) return why->empty();
    const std::vector<std::vector<StoredValue>> rows = rowsOf(journalReadAll(fd));
    // Discarded while locked: no writer appends in between.
    const bool ok = (rows.empty() || db->insertAll(rows, why)) && journalDiscard(fd, path, why);
    if (!ok) *waiting = static_cast<long long>(rows.size());
    journalClose(fd);
    return ok;
}

RecordOutcome recordRun(ResultsDb* db, bool* dbOpen, const std::string& resultsFile,
                        const RunRecord& run) {
    RecordOutcome out;
    if (!*dbOpen) *dbOpen = db->openForWriting(resultsFile, &out.why);
    if (*dbOpen) {
        long long waiting = 0;
        out.recorded =
            journalReplay(resultsFile, db, &waiting, &out.why) && db->insert(run, &out.why);
    }
    if (out.recorded) return out;
    std::string journalWhy;
    out.journaled = journalAppend(resultsFile, runColumnValues(run), &journalWhy);
    if (!out.journaled) out.why += "; " + journalWhy;
    return out;
}

} // namespace dwlcli

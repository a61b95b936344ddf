#include "app/results/results_journal.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dwlcli {

namespace {

// The journal opened and locked; -1 with *why when it cannot be. A journal that a replay
// removed while we waited for its lock is opened anew.
int openLocked(const std::string& path, int flags, std::string* why) {
    for (;;) {
        const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno != ENOENT || (flags & O_CREAT) != 0)
                *why = "cannot open " + path + ": " + strerror(errno);
            return -1;
        }
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat held {
        }, named{};
        if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return fd;
        close(fd);
    }
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

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
    const int fd = openLocked(path, O_RDWR | O_APPEND | O_CREAT, why);
    if (fd < 0) return false;
    // A line cut short by a crash is ended first, so that it spoils no other.
    struct stat st {};
    char last = '\n';
    const bool cut = fstat(fd, &st) == 0 && st.st_size > 0 &&
                     pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
    const std::string line = std::string(cut ? "\n" : "") +
                             row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
                             "\n";
    const bool ok = writeAll(fd, line) && fsync(fd) == 0;
    if (!ok) *why = "cannot write " + path + ": " + strerror(errno);
    close(fd);
    return ok;
}

long long journalCount(const std::string& resultsFile) {
    std::string ignored;
    const int fd = openLocked(journalPath(resultsFile), O_RDONLY, &ignored);
    if (fd < 0) return 0;
    const long long count = static_cast<long long>(rowsOf(readAll(fd)).size());
    close(fd);
    return count;
}

bool journalReplay(const std::string& resultsFile, ResultsDb* db, long long* waiting,
                   std::string* why) {
    *waiting = 0;
    const std::string path = journalPath(resultsFile);
    why->clear();
    const int fd = openLocked(path, O_RDWR, why);
    if (fd < 0) return why->empty();
    const std::vector<std::vector<StoredValue>> rows = rowsOf(readAll(fd));
    bool ok = rows.empty() || db->insertAll(rows, why);
    if (ok) {
        // Removed while locked: a writer waiting for the lock sees it gone and makes a new one.
        ok = unlink(path.c_str()) == 0;
        if (!ok) *why = "cannot remove " + path + ": " + strerror(errno);
    }
    if (!ok) *waiting = static_cast<long long>(rows.size());
    close(fd);
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

// The sender: passes the runs that wait in a station's local results file (sent_at NULL) on to
// the line's results server, batch by batch, each batch in one server transaction, then marks
// them sent in the local file. A crash between the two only sends a batch again, and the server
// keeps a run once (run_id is its key). While the server cannot be reached the runs wait and the
// sender tries again, less and less often; a station never waits for it.
#pragma once

#include "app/results/results_db.h"
#include "app/results/results_server.h"

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace dwlcli {

// What a station shows of its results server.
struct SenderStatus {
    long long waiting = 0;    // runs of the local file the server does not have yet
    double lastReached = 0.0; // when the server last answered (epoch seconds); 0: not yet
    std::string error;        // why the last attempt failed (one line), or empty
    long long passes = 0;     // attempts made so far
    long long answered = 0;   // the last nudge (ResultsSender::nudge) an attempt began after
};

// One attempt: opens what is not open yet (the local file into *local), sends every waiting run and
// marks it sent. False when something failed, with the line in status->error. `progress`, when
// given, hears of the status after each batch.
bool sendWaitingRuns(const std::string& localFile, const std::string& address,
                     std::unique_ptr<ResultsDb>* local, ResultsServer* server, SenderStatus* status,
                     const std::function<void(const SenderStatus&)>& progress = nullptr);

// One attempt of its own, for a single run (dwl flash): what it left.
SenderStatus sendWaitingRunsOnce(const std::string& localFile, const std::string& address);

// A one-line summary for a terminal: "server: 3 runs waiting, last reached 12 s ago (connection
// refused at db:5432)".
std::string serverStatusText(const SenderStatus& status, double now);
// The event line {"event":"server","time":T,"waiting":N,"last_reached_s":X|null,"error":S|null};
// last_reached_s: seconds since the server last answered.
nlohmann::ordered_json serverEvent(const SenderStatus& status, double now);

// The sender on a thread of its own, for as long as the object lives.
class ResultsSender {
  public:
    struct Timing {
        double idleSeconds = 5.0;   // between two looks at the local file
        double firstRetry = 1.0;    // after a failure; doubled after each one that follows
        double longestRetry = 60.0; // the longest wait between two tries
    };

    ResultsSender(const std::string& localFile, const std::string& address);
    // changed, when given, hears each new status on the sender's thread (after each attempt
    // and each batch).
    using Observer = std::function<void(const SenderStatus&)>;
    ResultsSender(const std::string& localFile, const std::string& address, Timing timing,
                  Observer changed = nullptr);
    ~ResultsSender(); // lets the attempt in progress end, then stops
    ResultsSender(const ResultsSender&) = delete;
    ResultsSender& operator=(const ResultsSender&) = delete;

    // A run was recorded: try now instead of at the next look. Returns the nudge's number:
    // status().answered reaches it once an attempt that began after the nudge has ended.
    long long nudge();
    SenderStatus status() const;
    // Waits until done(status()) holds, at most `seconds`; false when it did not.
    bool waitUntil(const std::function<bool(const SenderStatus&)>& done, double seconds) const;

  private:
    void loop();

    const std::string localFile_, address_;
    const Timing timing_;
    const Observer changed_;
    mutable std::mutex mutex_;
    mutable std::condition_variable statusChanged_;
    SenderStatus status_;
    long long nudges_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace dwlcli

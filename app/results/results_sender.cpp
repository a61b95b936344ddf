#include "app/results/results_sender.h"
#include "app/options/station_event_keys.h"

#include "app/results/utc_time.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace dwlcli {

namespace {

// Runs per server transaction.
constexpr int kBatch = 200;

// "12 s", "3 min", "5 h"
std::string age(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    if (s < 120) return std::to_string(s) + " s";
    if (s < 7200) return std::to_string(s / 60) + " min";
    return std::to_string(s / 3600) + " h";
}

} // namespace

bool sendWaitingRuns(const std::string& localFile, const std::string& address,
                     std::unique_ptr<ResultsDb>* localDb, ResultsServer* server,
                     SenderStatus* status,
                     const std::function<void(const SenderStatus&)>& progress) {
    status->passes++;
    std::string why;
    const auto fail = [&]() {
        status->error = why;
        return false;
    };
    if (*localDb == nullptr) {
        auto opened = std::make_unique<ResultsDb>();
        if (!opened->openForWriting(localFile, &why)) {
            why = "local results file " + localFile + ": " + why;
            return fail();
        }
        *localDb = std::move(opened);
    }
    ResultsDb* local = localDb->get();
    if (!local->countUnsent(&status->waiting, &why)) return fail();
    if (!server->isOpen() && !server->open(address, &why)) return fail();
    if (status->waiting == 0 && !server->ping(&why)) return fail();
    status->lastReached = epochNow();
    while (status->waiting > 0) {
        const long long before = status->waiting;
        UnsentRuns batch;
        int added = 0;
        if (!local->selectUnsent(kBatch, &batch, &why)) return fail();
        if (batch.rows.empty()) break;
        if (!server->store(batch, &added, &why)) return fail();
        status->lastReached = epochNow();
        size_t key = 0;
        while (key < batch.columns.size() && batch.columns[key] != "run_id")
            key++;
        std::vector<std::string> ids;
        for (const std::vector<StoredValue>& row : batch.rows)
            if (key < row.size()) ids.push_back(row[key].text);
        // Should this fail, the batch goes again next time; the server keeps each run once.
        if (!local->markSent(ids, utcText(status->lastReached), &why)) return fail();
        if (!local->countUnsent(&status->waiting, &why)) return fail();
        if (progress) progress(*status);
        // Runs that could not be marked are left to the next attempt rather than sent on and on.
        if (status->waiting >= before) break;
    }
    status->error.clear();
    return true;
}

SenderStatus sendWaitingRunsOnce(const std::string& localFile, const std::string& address) {
    std::unique_ptr<ResultsDb> local;
    ResultsServer server;
    SenderStatus status;
    sendWaitingRuns(localFile, address, &local, &server, &status);
    return status;
}

std::string serverStatusText(const SenderStatus& status, double now) {
    if (status.passes == 0) return "server: first attempt under way";
    std::string text = "server: ";
    text += status.waiting == 0 ? "all runs sent"
                                : std::to_string(status.waiting) +
                                      (status.waiting == 1 ? " run waiting" : " runs waiting");
    text += status.lastReached > 0 ? ", last reached " + age(now - status.lastReached) + " ago"
                                   : ", not reached yet";
    if (!status.error.empty()) {
        std::string reason = status.error;
        const std::string prefix = "results server: ";
        if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
        text += " (" + reason + ")";
    }
    return text;
}

nlohmann::ordered_json serverEvent(const SenderStatus& status, double now) {
    namespace k = stationkeys;
    nlohmann::ordered_json e;
    e[k::kEvent] = k::kServer;
    e[k::kTime] = utcText(now);
    e[k::kWaitingRuns] = status.waiting;
    if (status.lastReached > 0)
        e[k::kLastReachedSeconds] = std::round(std::max(0.0, now - status.lastReached) * 10) / 10;
    else
        e[k::kLastReachedSeconds] = nullptr;
    if (status.error.empty())
        e[k::kError] = nullptr;
    else
        e[k::kError] = status.error;
    return e;
}

ResultsSender::ResultsSender(const std::string& localFile, const std::string& address)
    : ResultsSender(localFile, address, Timing{}) {}

ResultsSender::ResultsSender(const std::string& localFile, const std::string& address,
                             Timing timing, Observer changed)
    : localFile_(localFile), address_(address), timing_(timing), changed_(std::move(changed)) {
    thread_ = std::thread([this]() { loop(); });
}

ResultsSender::~ResultsSender() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    statusChanged_.notify_all();
    thread_.join();
}

long long ResultsSender::nudge() {
    long long number = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        number = ++nudges_;
    }
    statusChanged_.notify_all();
    return number;
}

SenderStatus ResultsSender::status() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

bool ResultsSender::waitUntil(const std::function<bool(const SenderStatus&)>& done,
                              double seconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return statusChanged_.wait_for(lock, std::chrono::duration<double>(seconds),
                                   [&]() { return done(status_); });
}

void ResultsSender::loop() {
    std::unique_ptr<ResultsDb> local;
    ResultsServer server;
    double retry = timing_.firstRetry;
    const auto publish = [this](const SenderStatus& s) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            status_ = s;
        }
        statusChanged_.notify_all();
        if (changed_) changed_(s);
    };
    SenderStatus s;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const long long seen = nudges_;
        lock.unlock();
        const bool sent = sendWaitingRuns(localFile_, address_, &local, &server, &s, publish);
        s.answered = seen;
        publish(s);
        lock.lock();
        double wait = timing_.idleSeconds;
        if (sent) {
            retry = timing_.firstRetry;
        } else {
            wait = retry;
            retry = std::min(retry * 2, timing_.longestRetry);
        }
        statusChanged_.wait_for(lock, std::chrono::duration<double>(wait),
                                [this, seen]() { return stopping_ || nudges_ != seen; });
    }
}

} // namespace dwlcli

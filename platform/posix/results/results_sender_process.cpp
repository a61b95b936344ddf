#include "app/results/results_sender_process.h"
#include "app/options/station_event_keys.h"

#include "app/results/utc_time.h"
#include "app/run/json_text.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace dwlcli {

namespace {

// How long the last attempt may take when the sender is stopped: a station's stop waits for it.
// What is not sent by then stays in the local file for the next start.
constexpr double kLastAttemptSeconds = 3.0;

// Writes the whole line; a reader that is gone is no reason to stop sending.
void writeLine(int fd, const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

} // namespace

bool startResultsSender(const std::string& localFile, const std::string& address,
                        ChildHandle* sender, std::string* why) {
    ChildOptions options;
    options.in = kChildNull;
    options.out = kChildPipe;
    options.ownGroup = true;
    options.parentDeathSignal = SIGTERM;
    options.orphanStatus = 1;
    // Nothing else of the station's: a port's pipe held open here would never end.
    options.closeAllOthers = true;
    if (dwl_StartFunction([&] { return runResultsSender(localFile, address, STDOUT_FILENO); },
                          options, sender))
        return true;
    *why = std::string(sender->pipeFailed ? "cannot make a pipe: " : "cannot start its process: ") +
           strerror(sender->error);
    return false;
}

pid_t startResultsSender(const std::string& localFile, const std::string& address, int* events,
                         std::string* why) {
    ChildHandle sender;
    if (!startResultsSender(localFile, address, &sender, why)) return -1;
    *events = sender.out;
    return sender.pid;
}

int runResultsSender(const std::string& localFile, const std::string& address, int out) {
    // Blocked before the sender's thread starts, so that it inherits the mask: the signals come
    // to sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGUSR1, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    ResultsSender sender(localFile, address, ResultsSender::Timing{}, [out](const SenderStatus& s) {
        writeLine(out, jsonText(serverEvent(s, epochNow())) + "\n");
    });
    int received = 0;
    while (sigwait(&signals, &received) == 0 && received == SIGUSR1)
        sender.nudge();
    const long long last = sender.nudge();
    if (sender.waitUntil([last](const SenderStatus& s) { return s.answered >= last; },
                         kLastAttemptSeconds))
        return 0;
    // The server holds the attempt up: the stop does not wait for it. The sender's thread is
    // left as it is (a join would wait for the server); the runs stay unsent in the local file.
    SenderStatus s = sender.status();
    s.error = "results server: no answer at the stop; the runs wait in " + localFile;
    writeLine(out, jsonText(serverEvent(s, epochNow())) + "\n");
    _exit(0);
}

bool readServerEvent(const std::string& line, double now, SenderStatus* status) {
    const nlohmann::json e = nlohmann::json::parse(line, nullptr, false);
    namespace k = stationkeys;
    if (!e.is_object() || e.value(k::kEvent, "") != k::kServer) return false;
    const auto waiting = e.find(k::kWaitingRuns), reached = e.find(k::kLastReachedSeconds),
               error = e.find(k::kError);
    if (waiting == e.end() || !waiting->is_number_integer()) return false;
    status->waiting = waiting->get<long long>();
    status->lastReached =
        reached != e.end() && reached->is_number() ? now - reached->get<double>() : 0.0;
    status->error = error != e.end() && error->is_string() ? error->get<std::string>() : "";
    status->passes++;
    return true;
}

} // namespace dwlcli

#include "tests/support/postgres_server.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

namespace testsupport {

namespace {

constexpr char kReady[] = "database system is ready to accept connections";

// The bin folder of the newest installed server, or empty.
std::string serverBinaries() {
    glob_t found{};
    std::string best;
    if (glob("/usr/lib/postgresql/*/bin/postgres", 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; i++) {
            const std::string path = found.gl_pathv[i];
            const std::string folder = path.substr(0, path.size() - 9);
            // Versions 10 and later: compare the numbers, not the text.
            const auto version = [](const std::string& p) {
                return atoi(p.c_str() + strlen("/usr/lib/postgresql/"));
            };
            if (best.empty() || version(folder) > version(best)) best = folder;
        }
    }
    globfree(&found);
    return best;
}

} // namespace

int freeLocalPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

namespace {

// Starts args[0] in folder dir with its output into fd, as `nobody` when we are root; it gets
// SIGQUIT (the server's immediate shutdown) when this thread ends. The child's pid, or -1.
pid_t spawn(const std::vector<std::string>& args, const std::string& dir, int fd) {
    const struct passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr;
    if (getuid() == 0 && nobody == nullptr) return -1;
    // Everything the child needs is ready before the fork: other threads may hold the heap.
    const uid_t uid = nobody != nullptr ? nobody->pw_uid : 0;
    const gid_t gid = nobody != nullptr ? nobody->pw_gid : 0;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (uid != 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
        _exit(126);
    // After the change of user, which clears it.
    prctl(PR_SET_PDEATHSIG, SIGQUIT);
    if (getppid() != parent || chdir(dir.c_str()) != 0) _exit(125);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
}

} // namespace

PostgresServer::PostgresServer() {
    bin_ = serverBinaries();
    if (bin_.empty()) {
        missing_ = true;
        problem_ = "no PostgreSQL server in /usr/lib/postgresql (Debian package postgresql)";
        return;
    }
    if (const struct passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr)
        if (chown(dir_.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            problem_ = "cannot hand " + dir_.path() + " to nobody";
            return;
        }
    port_ = freeLocalPort();
    // initdb: the superuser `postgres` may come in over the local socket without a password;
    // everyone else needs one over TCP.
    const std::string log = dir_.file("initdb.log");
    FILE* out = fopen(log.c_str(), "w");
    const pid_t pid =
        spawn({bin_ + "/initdb", "-D", dir_.file("data"), "-U", "postgres", "--no-locale", "-E",
               "UTF8", "--auth-local=trust", "--auth-host=scram-sha-256", "-N"},
              dir_.path(), fileno(out));
    fclose(out);
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || status != 0) {
        std::ifstream in(log);
        problem_ = "initdb failed: " + std::string(std::istreambuf_iterator<char>(in), {});
        return;
    }
    if (!start()) return;
    const std::string password = kPassword;
    std::string error =
        admin("CREATE ROLE station LOGIN PASSWORD '" + password + "'", nullptr, "postgres");
    if (error.empty()) error = admin("CREATE DATABASE line OWNER station", nullptr, "postgres");
    if (!error.empty()) problem_ = "setting up the line's database: " + error;
}

PostgresServer::~PostgresServer() {
    stop();
}

std::string PostgresServer::address(const std::string& password) const {
    return "postgresql://station:" + password + "@127.0.0.1:" + std::to_string(port_) + "/line";
}

void PostgresServer::drain(int fd) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        const std::lock_guard<std::mutex> lock(mutex_);
        log_.append(buffer, static_cast<size_t>(n));
        if (log_.find(kReady) != std::string::npos) ready_ = true;
        changed_.notify_all();
    }
    close(fd);
    const std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

bool PostgresServer::start() {
    if (pid_ > 0) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        log_.clear();
        ready_ = ended_ = false;
    }
    pid_ = spawn({bin_ + "/postgres", "-D", dir_.file("data"), "-p", std::to_string(port_), "-k",
                  dir_.path(), "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off"},
                 dir_.path(), fds[1]);
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        problem_ = "cannot start postgres";
        return false;
    }
    reader_ = std::thread([this, fd = fds[0]]() { drain(fd); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(60), [this]() { return ready_ || ended_; });
    if (ready_) return true;
    problem_ = "the server did not start: " + log_;
    lock.unlock();
    stop();
    return false;
}

bool PostgresServer::stop() {
    if (pid_ <= 0) return true;
    kill(pid_, SIGINT);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string PostgresServer::admin(const std::string& sql, std::string* value,
                                  const std::string& db) {
    const std::string conninfo =
        "host=" + dir_.path() + " port=" + std::to_string(port_) + " user=postgres dbname=" + db;
    PGconn* conn = PQconnectdb(conninfo.c_str());
    std::string error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
    } else {
        PGresult* r = PQexec(conn, sql.c_str());
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            error = PQerrorMessage(conn);
        else if (value != nullptr)
            *value = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
        PQclear(r);
    }
    PQfinish(conn);
    return error;
}

} // namespace testsupport

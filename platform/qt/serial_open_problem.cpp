#include "platform/qt/serial_open_problem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace dwlqt {
namespace {

// The lock file of a device as the serial port library names it: LCK.. and the path below
// /dev with '/' as '_', in the first of the usual lock folders that has one.
std::string lockFileOf(const std::string& path) {
    std::string name = path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
    for (char& c : name)
        if (c == '/') c = '_';
    for (const char* dir : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                            "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"}) {
        const std::string file = std::string(dir) + "/LCK.." + name;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0) return file;
    }
    return "";
}

std::string commandOf(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string comm;
    std::getline(in, comm);
    return comm;
}

} // namespace

std::string openProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    const std::string lock = lockFileOf(path);
    if (lock.empty()) return "in use by another program";
    std::ifstream in(lock);
    long pid = 0;
    // An empty lock file: its maker was killed before it wrote its number. The serial port
    // library takes such a file for stale 30 s after it was made. (One naming a process that has
    // ended is taken for stale at once, and never stops an open.)
    if (!(in >> pid) || pid <= 0) return "left locked by a killed program; free again within 30 s";
    if (pid == static_cast<long>(getpid())) return "already open in this program";
    const std::string comm = commandOf(pid);
    return "in use by process " + std::to_string(pid) + (comm.empty() ? "" : " (" + comm + ")");
}

} // namespace dwlqt

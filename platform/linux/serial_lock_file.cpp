#include "platform/linux/serial_lock_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace dwllinux {
namespace {

// How often a lock that another program takes at the same moment is looked at again.
constexpr int kTakeAttempts = 3;

struct Holder {
    long pid = 0;          // 0: the file names no process
    double ageSeconds = 0; // since the file was last written
};

Holder readHolder(const std::string& file) {
    Holder h;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0) h.ageSeconds = std::difftime(std::time(nullptr), st.st_mtime);
    // "%10d\n" as the UUCP programs write it, or the number alone on the first line.
    char text[64] = {};
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return h;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return h;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end != text && pid > 0) h.pid = pid;
    return h;
}

bool processExists(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string commandOf(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string comm;
    std::getline(in, comm);
    return comm;
}

// How long a lock file's process may hold it before opening the device (it makes the lock just
// before the open).
constexpr double kLockBeforeOpenSeconds = 30;

enum class Holds { NO, YES, UNKNOWN };

// Whether a process has the device open on one of its descriptors, under any name; UNKNOWN
// when its descriptors cannot be read (another user's process).
Holds holdsDevice(const std::string& process, dev_t device) {
    const std::string fds = "/proc/" + process + "/fd";
    DIR* dir = opendir(fds.c_str());
    if (dir == nullptr) return Holds::UNKNOWN;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string link = fds + "/" + entry->d_name;
        struct stat st {};
        if (stat(link.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found ? Holds::YES : Holds::NO;
}

// True when this process has the device open.
bool openHere(dev_t device) {
    return holdsDevice("self", device) == Holds::YES;
}

std::string findLock(const std::vector<std::string>& folders, const std::string& name) {
    for (const std::string& folder : folders) {
        const std::string file = folder + "/" + name;
        struct stat st {};
        if (lstat(file.c_str(), &st) == 0) return file;
    }
    return "";
}

// Whether an existing lock file may be taken over: true with `stale` saying whose it was, or
// false with `why` saying who holds the device.
bool mayTakeOver(const std::string& file, dev_t device, std::string* why, std::string* stale) {
    const Holder h = readHolder(file);
    if (h.pid == 0) {
        if (h.ageSeconds < kEmptyLockSeconds) {
            *why = "left locked by a killed program; free again within 30 s";
            return false;
        }
        *stale = "left locked by a killed program";
        return true;
    }
    if (h.pid == static_cast<long>(getpid())) {
        if (device != 0 && openHere(device)) {
            *why = "already open in this program";
            return false;
        }
        *stale = "left locked by an earlier program of this process number";
        return true;
    }
    // A process number comes round again (after 32768 processes on many systems): a process that
    // has had the lock for a while without the device open is another program by now.
    if (processExists(h.pid) && !(device != 0 && h.ageSeconds >= kLockBeforeOpenSeconds &&
                                  holdsDevice(std::to_string(h.pid), device) == Holds::NO)) {
        const std::string comm = commandOf(h.pid);
        *why =
            "in use by process " + std::to_string(h.pid) + (comm.empty() ? "" : " (" + comm + ")");
        return false;
    }
    *stale = "left locked by process " + std::to_string(h.pid) +
             (processExists(h.pid) ? ", which no longer has it open" : ", which has ended");
    return true;
}

enum MakeResult { MADE, TAKEN_MEANWHILE, NO_FOLDER };

// Makes the lock file whole in one step: written under a name of this process, then linked to
// the lock's name, which fails when the lock exists. So no other program ever reads it empty.
MakeResult makeLock(const std::vector<std::string>& folders, const std::string& name,
                    std::string* made) {
    for (const std::string& folder : folders) {
        if (access(folder.c_str(), W_OK) != 0) continue;
        const std::string own = folder + "/LTMP." + std::to_string(getpid());
        const int fd =
            ::open(own.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
        const bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
        fchmod(fd, 0644); // readable by every program that looks, whatever the umask
        ::close(fd);
        const std::string file = folder + "/" + name;
        const int rc = written ? link(own.c_str(), file.c_str()) : -1;
        const int error = errno;
        unlink(own.c_str());
        if (rc == 0) {
            *made = file;
            return MADE;
        }
        if (written && error == EEXIST) return TAKEN_MEANWHILE;
    }
    return NO_FOLDER;
}

} // namespace

LockFolders systemLockFolders() {
    LockFolders f;
    f.lookIn = {"/var/lock",       "/run/lock", "/etc/locks", "/var/spool/locks",
                "/var/spool/uucp", "/tmp",      "/var/tmp",   "/var/lock/lockdev"};
    f.makeIn = {"/var/lock", "/run/lock"};
    return f;
}

std::string lockFileName(const std::string& realPath) {
    std::string name = realPath.rfind("/dev/", 0) == 0 ? realPath.substr(5) : realPath;
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

std::string deviceLockFileName(unsigned major, unsigned minor) {
    char name[32];
    std::snprintf(name, sizeof name, "LCK.%03u.%03u", major, minor);
    return name;
}

DeviceLock::~DeviceLock() {
    release();
}

bool DeviceLock::takeOne(const std::string& name, unsigned long device, const LockFolders& folders,
                         std::string* why, std::string* takenOver) {
    for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
        const std::string existing = findLock(folders.lookIn, name);
        if (!existing.empty()) {
            std::string stale;
            if (!mayTakeOver(existing, static_cast<dev_t>(device), why, &stale)) return false;
            if (unlink(existing.c_str()) != 0 && errno != ENOENT) {
                *why = stale + "; " + existing + ": " + std::strerror(errno);
                return false;
            }
            *takenOver = stale;
            continue;
        }
        std::string made;
        switch (makeLock(folders.makeIn, name, &made)) {
        case MADE: files_.push_back(made); return true;
        case NO_FOLDER: return true; // nowhere to put one: the device opens unlocked
        case TAKEN_MEANWHILE: break;
        }
    }
    *why = "in use by another program";
    return false;
}

bool DeviceLock::take(const std::string& realPath, const LockFolders& folders, std::string* why,
                      std::string* takenOver) {
    release();
    why->clear();
    takenOver->clear();
    // The device's own number first: every name of the device (a link, another node, a bind
    // mount) meets it. The path's name too, for the programs that look only for that one.
    std::vector<std::string> names;
    struct stat st {};
    dev_t device = 0;
    if (stat(realPath.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
        device = st.st_rdev;
        names.push_back(deviceLockFileName(major(device), minor(device)));
    }
    names.push_back(lockFileName(realPath));
    for (const std::string& name : names) {
        if (!takeOne(name, static_cast<unsigned long>(device), folders, why, takenOver)) {
            release();
            return false;
        }
    }
    return true;
}

void DeviceLock::release() {
    // Only a lock that still names this process: one broken and taken by another stays.
    for (const std::string& file : files_)
        if (readHolder(file).pid == static_cast<long>(getpid())) unlink(file.c_str());
    files_.clear();
}

} // namespace dwllinux

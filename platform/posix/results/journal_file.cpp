// The journal's file on POSIX systems: flock, and a removal while locked; a writer that waited
// for the lock of a removed file sees it gone and makes a new one.
#include "app/results/journal_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dwlcli {

int journalOpenLocked(const std::string& path, bool create, std::string* why) {
    const int flags = create ? O_RDWR | O_APPEND | O_CREAT : O_RDWR;
    for (;;) {
        const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno != ENOENT || create) *why = "cannot open " + path + ": " + strerror(errno);
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

std::string journalReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool journalAppendDurably(int fd, const std::string& text) {
    struct stat st {};
    char last = '\n';
    const bool cut = fstat(fd, &st) == 0 && st.st_size > 0 &&
                     pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
    const std::string all = (cut ? "\n" : "") + text;
    size_t done = 0;
    while (done < all.size()) {
        const ssize_t n = write(fd, all.data() + done, all.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return fsync(fd) == 0;
}

bool journalDiscard(int, const std::string& path, std::string* why) {
    if (unlink(path.c_str()) == 0) return true;
    *why = "cannot remove " + path + ": " + strerror(errno);
    return false;
}

void journalClose(int fd) {
    close(fd);
}

} // namespace dwlcli

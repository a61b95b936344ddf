#include "app/station/device_watch.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace dwlcli {

std::string deviceMissing(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return "";
    return path + ": " + strerror(errno);
}

void waitForDeviceChange(const std::string& path, double seconds) {
    const int ms = static_cast<int>(seconds * 1000.0);
#ifdef __linux__
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0 &&
        inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB) >= 0) {
        // Made between the look and the watch: no need to sleep.
        if (deviceMissing(path).empty()) {
            close(watch);
            return;
        }
        pollfd p{watch, POLLIN, 0};
        poll(&p, 1, ms);
        close(watch);
        return;
    }
    if (watch >= 0) close(watch);
#endif
    poll(nullptr, 0, ms);
}

void pauseUnlessStopped(double seconds) {
    // A stop is a signal: it ends the poll.
    poll(nullptr, 0, static_cast<int>(seconds * 1000.0));
}

} // namespace dwlcli

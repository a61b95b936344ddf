// UUCP lock files of serial devices: /var/lock/LCK..ttyUSB0 holds the number of the process that
// has /dev/ttyUSB0 open, so that two programs (two runs of this one, a terminal program) never
// share a line. A device is locked under two names: its device number, as lockdev names it
// (/var/lock/LCK.188.000), which every name of the device meets (a link, another node of the
// same device, a bind mount), and its real path, as the UUCP programs name it.
#pragma once

#include <string>
#include <vector>

namespace dwllinux {

// Where lock files are looked for (every folder where programs put them) and where this program
// makes its own (the first folder of makeIn it may write in).
struct LockFolders {
    std::vector<std::string> lookIn;
    std::vector<std::string> makeIn;
};
// The system's: /var/lock and /run/lock, and the older places others may use.
LockFolders systemLockFolders();

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the path below /dev with '/' as
// '_'.
std::string lockFileName(const std::string& realPath);
// "LCK.136.003" for the character device 136:3 (major and minor number).
std::string deviceLockFileName(unsigned major, unsigned minor);

// Seconds after which an empty lock file (its maker was killed before it wrote its number) no
// longer counts.
constexpr double kEmptyLockSeconds = 30.0;

// The lock of one device, held from take() until release() or the end of the object.
class DeviceLock {
  public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes the lock of the device at `realPath`. true when this program holds it now, or when
    // no lock folder can be written (the device is then opened without one). false when another
    // holds it: `why` says who, in words for the operator's log ("in use by process 4711
    // (minicom)", "already open in this program"). A lock file left by a process that has
    // ended, or an empty one older than kEmptyLockSeconds, is taken over; `takenOver` then says
    // whose it was ("left locked by process 4711, which has ended"), else it is emptied.
    bool take(const std::string& realPath, const LockFolders& folders, std::string* why,
              std::string* takenOver);
    // Removes the lock files that still name this process.
    void release();
    // The lock files held: the device number's, then the path's; none when unlocked.
    const std::vector<std::string>& files() const { return files_; }
    // The path's lock file, as the UUCP programs name it; "" when none.
    const std::string& file() const {
        static const std::string none;
        return files_.empty() ? none : files_.back();
    }

  private:
    bool takeOne(const std::string& name, unsigned long device, const LockFolders& folders,
                 std::string* why, std::string* takenOver);
    std::vector<std::string> files_;
};

} // namespace dwllinux

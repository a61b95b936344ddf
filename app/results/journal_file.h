// The journal's file as each system keeps it: opened with a lock that the station's other
// processes wait for, read whole, appended to durably, and emptied once its runs are in the
// database. POSIX systems (platform/posix/results) remove it while it is locked; Windows
// (platform/windows/results), which cannot remove a file that another process holds, empties
// it instead: an empty journal holds no runs.
#pragma once

#include <string>

namespace dwlcli {

// The file at path opened and locked (created when `create`); -1 when it cannot be, with the
// reason in *why unless it is simply not there (and not to be created).
int journalOpenLocked(const std::string& path, bool create, std::string* why);
// All it holds.
std::string journalReadAll(int fd);
// Appends text and sees it on the disk; a last line cut short by a crash is ended first, so that
// it spoils no other. False with errno set.
bool journalAppendDurably(int fd, const std::string& text);
// Its runs are elsewhere now: it goes (or is emptied). False with the reason in *why.
bool journalDiscard(int fd, const std::string& path, std::string* why);
// Unlocks and closes it.
void journalClose(int fd);

} // namespace dwlcli

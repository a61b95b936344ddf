// The journal's file on Windows: a lock of its first byte (LockFileEx, which waits), and an
// emptying instead of a removal: a file that another process holds open cannot go, and one that
// went while a writer waited for its lock would take that writer's run along.
#include "app/results/journal_file.h"

#include "platform/windows/system/system_error.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>

namespace dwlcli {

namespace {

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

int journalOpenLocked(const std::string& path, bool create, std::string* why) {
    // The path as the C run-time's fopen takes it (the program's code page), as the log's.
    const HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (create || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND))
            *why = "cannot open " + path + ": " + dwlwin::systemErrorText(error);
        return -1;
    }
    OVERLAPPED first{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &first)) {
        *why = "cannot lock " + path + ": " + dwlwin::systemErrorText(GetLastError());
        CloseHandle(h);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    return fd;
}

std::string journalReadAll(int fd) {
    std::string text;
    const HANDLE h = handleOf(fd);
    LARGE_INTEGER start{};
    SetFilePointerEx(h, start, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        text.append(buffer, n);
    return text;
}

bool journalAppendDurably(int fd, const std::string& text) {
    const std::string held = journalReadAll(fd); // leaves the file's pointer at its end
    const std::string all = (!held.empty() && held.back() != '\n' ? "\n" : "") + text;
    const HANDLE h = handleOf(fd);
    DWORD written = 0;
    if (!WriteFile(h, all.data(), static_cast<DWORD>(all.size()), &written, nullptr) ||
        written != all.size() || !FlushFileBuffers(h)) {
        errno = EIO;
        return false;
    }
    return true;
}

bool journalDiscard(int fd, const std::string& path, std::string* why) {
    const HANDLE h = handleOf(fd);
    LARGE_INTEGER start{};
    if (SetFilePointerEx(h, start, nullptr, FILE_BEGIN) && SetEndOfFile(h) && FlushFileBuffers(h))
        return true;
    *why = "cannot empty " + path + ": " + dwlwin::systemErrorText(GetLastError());
    return false;
}

void journalClose(int fd) {
    OVERLAPPED first{};
    UnlockFileEx(handleOf(fd), 0, 1, 0, &first);
    _close(fd);
}

} // namespace dwlcli

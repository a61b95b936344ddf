#include "link/program_folder.h"

#include <windows.h>

#include <cwchar>
#include <vector>

std::string dwl_ProgramFolder() {
    // The path may be longer than MAX_PATH: grow the buffer until it fits.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) break;
        path.resize(path.size() * 2);
    }
    wchar_t* separator = std::wcsrchr(path.data(), L'\\');
    if (separator == nullptr) return "";
    *separator = L'\0';
    // In the code page the C library's file functions take; a folder that code page cannot
    // name is no folder the program could open.
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, path.data(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 1 || lossy) return "";
    std::string folder(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.data(), -1, folder.data(), size, nullptr, nullptr);
    folder.resize(static_cast<size_t>(size - 1));
    return folder;
}

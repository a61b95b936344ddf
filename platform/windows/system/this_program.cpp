#include "platform/windows/system/this_program.h"

#include <windows.h>

#include <shellapi.h>

namespace dwlwin {

namespace {

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

} // namespace

std::string thisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) {
            path.resize(n);
            return utf8(path.c_str());
        }
        path.resize(path.size() * 2);
    }
}

std::vector<std::string> givenArguments() {
    int count = 0;
    wchar_t** given = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int k = 1; given != nullptr && k < count; k++)
        args.push_back(utf8(given[k]));
    if (given != nullptr) LocalFree(given);
    return args;
}

} // namespace dwlwin

// Where the programs find their own files: the working directory, the installed data folder,
// the source tree.
#include "link/dwl12datafiles.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::string v_WorkFolder;
int v_DataFolderSearch = 0;
int v_SpmFromDataFolder = 0;

namespace {

bool isFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder of the running program, or "".
std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return "";
    *slash = '\0';
    return path;
}

void addSourceTree(std::vector<std::string>& folders, const std::string& root) {
    for (const char* sub : {"/examples", "/ui"})
        if (isFolder(root + sub)) folders.push_back(root + sub);
}

bool isHandsetProgram(const char* name) {
    return std::strcmp(name, "dwl87.spm") == 0 || std::strcmp(name, "dwl88.spm") == 0;
}

} // namespace

std::vector<std::string> dwl12_5DataFolders() {
    std::vector<std::string> folders;
    const std::string program = programFolder();
    char installed[PATH_MAX];
    if (!program.empty() && realpath((program + "/../share/dwl").c_str(), installed) != nullptr &&
        isFolder(installed))
        folders.emplace_back(installed);
    const char* source = std::getenv("DWL_SOURCE_DIR");
    if (source != nullptr && source[0] != '\0') addSourceTree(folders, source);
#ifdef DWL_BUILD_SOURCE_DIR
    addSourceTree(folders, DWL_BUILD_SOURCE_DIR);
#endif
    return folders;
}

std::string dwl12_6FindDataFolder(const char* name) {
    for (const std::string& folder : dwl12_5DataFolders())
        if (isFile(folder + "/" + name)) return folder;
    return "";
}

std::string dwl12_8WorkFile(const char* name) {
    if (v_WorkFolder.empty() || name[0] == '/') return name;
    return v_WorkFolder + "/" + name;
}

namespace {

// Whether the data folders may serve a file `name` now.
bool searchesDataFolders(const char* name) {
    if (v_DataFolderSearch == 0) return false;
    if (isFile(dwl12_8WorkFile(name)) || isFile(dwl12_8WorkFile("flash.txt")) ||
        isFile(dwl12_8WorkFile("dwl87.spm")))
        return false;
    return !isHandsetProgram(name) || v_SpmFromDataFolder != 0;
}

} // namespace

std::string dwl12_7DataFile(const char* name) {
    const std::string local = dwl12_8WorkFile(name);
    if (!searchesDataFolders(name)) return local;
    const std::string folder = dwl12_6FindDataFolder(name);
    return folder.empty() ? local : folder + "/" + name;
}

std::vector<std::string> dwl12_9SearchedFolders(const char* name) {
    std::vector<std::string> folders;
    char here[PATH_MAX];
    if (!v_WorkFolder.empty())
        folders.push_back(v_WorkFolder);
    else
        folders.emplace_back(getcwd(here, sizeof here) != nullptr ? here : ".");
    if (searchesDataFolders(name)) {
        for (const std::string& folder : dwl12_5DataFolders())
            folders.push_back(folder);
    }
    return folders;
}

// Where the programs find their own files: the working directory, the installed data folder,
// the source tree.
#include "link/dwl12datafiles.h"

#include "link/program_folder.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

std::string v_WorkFolder;
int v_DataFolderSearch = 0;
int v_SpmFromDataFolder = 0;

namespace fs = std::filesystem;

namespace {

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// The folder at `path` with every link and ".." resolved, or "" when there is none.
std::string realFolder(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return !ec && fs::is_directory(real, ec) ? real.string() : std::string();
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
    const std::string program = dwl_ProgramFolder();
    // Installed under a prefix (<prefix>/bin and <prefix>/share/dwl), or unpacked from the
    // Windows archive (data beside dwl.exe).
    for (const char* installed : {"/../share/dwl", "/data"}) {
        const std::string folder = program.empty() ? "" : realFolder(program + installed);
        if (!folder.empty()) {
            folders.push_back(folder);
            break;
        }
    }
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
    // An absolute path (on Windows also one with a drive or a leading separator) stays as it is.
    if (v_WorkFolder.empty() || fs::path(name).has_root_path()) return name;
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
    std::error_code ec;
    if (!v_WorkFolder.empty())
        folders.push_back(v_WorkFolder);
    else if (const fs::path here = fs::current_path(ec); !ec)
        folders.push_back(here.string());
    else
        folders.emplace_back(".");
    if (searchesDataFolders(name)) {
        for (const std::string& folder : dwl12_5DataFolders())
            folders.push_back(folder);
    }
    return folders;
}

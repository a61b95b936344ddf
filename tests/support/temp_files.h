// Files for tests: a temporary folder that removes itself, text files with CR LF line ends,
// switching the working directory for the length of a test, the source tree's folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with its content at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// The lines joined, each followed by CR LF.
std::string crlfText(const std::vector<std::string>& lines);
// Writes the lines, each followed by CR LF.
void writeCrLfFile(const std::string& path, const std::vector<std::string>& lines);
// Writes bytes exactly as given.
void writeBytes(const std::string& path, const std::string& bytes);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The whole content of a file (empty when it cannot be read).
std::vector<uint8_t> readBytes(const std::string& path);

// Whether this process holds the file open: 1 when it does, 0 when not, -1 when this system
// cannot tell. Looks only at this one file, never at a count of the process's open files (under
// wine that list is the wine server's, shared with every other program of the prefix).
int fileHeldOpen(const std::string& path);

// Makes dir the working directory until destroyed, then goes back.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::string previous_;
};

// The source tree (DWL_SOURCE_DIR from the environment, else the configured one) and the build
// tree (DWL_BINARY_DIR from the environment, else the configured one).
std::string sourceDir();
std::string binaryDir();

} // namespace testsupport

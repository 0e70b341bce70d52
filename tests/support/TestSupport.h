// Helpers shared by the core tests and the benchmarks.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvel::test {

// A fresh empty folder below the system's temporary folder, removed when the
// object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The bytes of a file ("" when it cannot be read).
std::string fileBytes(const std::filesystem::path& path);
// Writes bytes to a file, replacing it.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);
// The bytes of a working file holding these UTF-8 lines: Windows-1251, each
// line ended by CR LF.
std::string cp1251Lines(const std::vector<std::string>& lines);
// A file of the project's source tree, e.g. sourcePath("samples/ieee14.cdu").
std::filesystem::path sourcePath(const std::string& relative);

// What a program run by the shell printed and its exit status (-1 when it
// did not exit).
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
// Runs program with the arguments (shell words) in the folder dir.
ProgramRun runInFolder(const std::string& program, const std::filesystem::path& dir, const std::string& args);

}  // namespace tarvel::test

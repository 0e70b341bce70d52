#include "tests/support/TestSupport.h"

#include "model/TextFile.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvel::test {

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("tarvel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(rd() % 100000));
        std::error_code ec;
        if (std::filesystem::create_directory(path_, ec))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ProgramRun runInFolder(const std::string& program, const std::filesystem::path& dir, const std::string& args)
{
    const std::string command = "cd '" + dir.string() + "' && '" + program + "' " + args + " >cli.stdout 2>cli.stderr";
    const int raw = std::system(command.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = fileBytes(dir / "cli.stdout");
    r.err = fileBytes(dir / "cli.stderr");
    std::filesystem::remove(dir / "cli.stdout");
    std::filesystem::remove(dir / "cli.stderr");
    return r;
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string cp1251Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return utf8ToCp1251(text);
}

std::filesystem::path sourcePath(const std::string& relative)
{
    return std::filesystem::path(TARVEL_SOURCE_DIR) / relative;
}

}  // namespace tarvel::test

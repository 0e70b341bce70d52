#include "app/FolderLock.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include "model/AsideFile.h"
#include "model/TextFile.h"
#include "model/WorkingFiles.h"

namespace tarvel::app {

namespace {

std::string firstLineOf(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

// The file name of a process's program, as QLockFile names it.
std::string programName(long pid)
{
    std::error_code ec;
    const std::filesystem::path exe =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    return ec ? std::string() : exe.filename().string();
}

std::string lockText()
{
    const long pid = static_cast<long>(::getpid());
    return std::to_string(pid) + "\n" + programName(pid) + "\n" + hostName() + "\n" +
           firstLineOf("/etc/machine-id") + "\n" + firstLineOf("/proc/sys/kernel/random/boot_id") + "\n";
}

// True when the lock's text names a program that still runs on this host.
bool holderRuns(const std::string& text)
{
    std::string_view rest = text;
    const auto nextLine = [&rest] {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return line;
    };
    const std::string_view pidText = nextLine();
    const std::string_view program = nextLine();
    const std::string_view host = nextLine();
    long pid = 0;
    const auto parsed = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    if (parsed.ec != std::errc() || pid <= 0)
        return false;
    // Another host's program cannot be asked: its lock stands.
    if (!host.empty() && host != hostName())
        return true;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    // A process id given again to another program does not hold the folder.
    const std::string running = programName(pid);
    return running.empty() || program.empty() || running == program;
}

// Removes a lock that no running program holds; false when one holds it.
bool removeIfStale(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;  // gone meanwhile: try again
    bool stale = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        std::string text(512, '\0');
        const ssize_t got = ::read(fd, text.data(), text.size());
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        stale = !holderRuns(text);
        if (stale)
            ::unlink(path.c_str());
    }
    ::close(fd);
    return stale;
}

}  // namespace

FolderLock::State FolderLock::lock(const std::filesystem::path& folder)
{
    release();
    const std::filesystem::path path = folder / kFolderLockFile;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            const std::string text = lockText();
            if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
                ::unlink(path.c_str());
                ::close(fd);
                return State::NotWritable;
            }
            fd_ = fd;
            path_ = path;
            return State::Held;
        }
        if (errno != EEXIST)
            return State::NotWritable;
        if (!removeIfStale(path))
            return State::InUse;
    }
    return State::InUse;
}

void FolderLock::release()
{
    if (fd_ < 0)
        return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

std::string claimWorkingFolder(const std::filesystem::path& folder, FolderLock& lock)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        const std::string why = ec ? " (" + fileErrorText(ec.value()) + ")" : "";
        return "Папка рабочих файлов \"" + folder.string() + "\" не найдена и не может быть создана" + why;
    }
    const FolderLock::State state = lock.lock(folder);
    if (state == FolderLock::State::InUse)
        return "Папка рабочих файлов \"" + folder.string() +
               "\" занята: в ней работает другой расчет Tarvel. Дождитесь его окончания или задайте другую папку "
               "параметром --workdir";
    if (state == FolderLock::State::Held)
        removeAbandonedTemporaries(folder);
    return {};
}

void removeAbandonedTemporaries(const std::filesystem::path& folder)
{
    for (const char* name : {kInputFile, kErrorFile, kEchoFile, kResultsFile, kDistrictFile, kCurrentsFile,
                             kLossShareFile})
        removeStaleTemporaries(folder / name, FolderHeld::Yes);
}

}  // namespace tarvel::app

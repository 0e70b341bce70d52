#include "model/AsideFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {

namespace {

// Bytes the test seam still lets through; negative: no bound.
std::atomic<long long> writeBudget{-1};

// How many of size bytes the seam lets through now.
std::size_t allowedBytes(std::size_t size)
{
    long long budget = writeBudget.load();
    while (budget >= 0) {
        const long long take = std::min<long long>(budget, static_cast<long long>(size));
        if (writeBudget.compare_exchange_weak(budget, budget - take))
            return static_cast<std::size_t>(take);
    }
    return size;
}

constexpr std::string_view kTemporaryEnd = ".part";
constexpr std::size_t kRandomLetters = 6;

std::string randomLetters()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           static_cast<std::uint64_t>(::getpid()) << 32 ^
                                           static_cast<std::uint64_t>(
                                               std::chrono::steady_clock::now().time_since_epoch().count())};
    std::string text(kRandomLetters, 'x');
    for (char& c : text)
        c = kLetters[generator() % (sizeof kLetters - 1)];
    return text;
}

std::filesystem::path folderOf(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// True when name is one of target's temporaries, ".NAME.XXXXXX.part".
bool isTemporaryOf(std::string_view name, std::string_view targetName)
{
    return name.size() == 1 + targetName.size() + 1 + kRandomLetters + kTemporaryEnd.size() && name[0] == '.' &&
           name.substr(1, targetName.size()) == targetName && name[1 + targetName.size()] == '.' &&
           name.ends_with(kTemporaryEnd);
}

// A temporary is left by a dead writer when nobody holds its lock; one
// younger than this may be between its creation and its lock.
constexpr auto kFreshTemporary = std::chrono::seconds(2);

void removeIfAbandoned(const std::filesystem::path& path, bool evenFresh)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        (evenFresh || now - std::chrono::seconds(info.st_mtime) > kFreshTemporary) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(path.c_str());
    ::close(fd);
}

}  // namespace

std::string fileErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return "нет места на диске";
    case EDQUOT:
        return "превышена дисковая квота";
    case EACCES:
    case EPERM:
        return "нет прав доступа";
    case EROFS:
        return "файловая система только для чтения";
    case ENOENT:
        return "не найден";
    case ENOTDIR:
        return "путь проходит через файл, а не папку";
    case EISDIR:
        return "это папка";
    case ELOOP:
        return "слишком много ссылок";
    case ENAMETOOLONG:
        return "слишком длинное имя";
    case EFBIG:
        return "файл слишком велик";
    case EIO:
        return "ошибка ввода-вывода";
    case EEXIST:
        return "на этом месте не файл";
    default:
        return "ошибка записи (код " + std::to_string(error) + ")";
    }
}

AsideFile::AsideFile(AsideFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(other.fd_),
      error_(other.error_),
      finished_(other.finished_)
{
    other.fd_ = -1;
    other.temporary_.clear();
}

AsideFile& AsideFile::operator=(AsideFile&& other) noexcept
{
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        fd_ = other.fd_;
        error_ = other.error_;
        finished_ = other.finished_;
        other.fd_ = -1;
        other.temporary_.clear();
    }
    return *this;
}

AsideFile::~AsideFile()
{
    discard();
}

bool AsideFile::create(const std::filesystem::path& target)
{
    discard();
    target_ = target;
    error_ = 0;
    finished_ = false;
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        error_ = S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
        return false;
    }
    const std::filesystem::path folder = folderOf(target);
    const std::string name = target.filename().string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path temporary = folder / ("." + name + "." + randomLetters() + std::string(kTemporaryEnd));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            fd_ = fd;
            temporary_ = std::move(temporary);
            return true;
        }
        if (errno != EEXIST) {
            error_ = errno;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

bool AsideFile::write(std::string_view bytes)
{
    if (fd_ < 0 || error_ != 0)
        return false;
    const std::size_t allowed = allowedBytes(bytes.size());
    std::string_view rest = bytes.substr(0, allowed);
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (allowed < bytes.size()) {
        error_ = ENOSPC;
        return false;
    }
    return true;
}

bool AsideFile::finish()
{
    finished_ = true;
    return fd_ >= 0 && error_ == 0;
}

bool AsideFile::commit()
{
    if (fd_ < 0)
        return false;
    // The temporary stays open, and locked, until just before it is in place.
    if (!closeTemporary() || !putInPlace()) {
        discard();
        return false;
    }
    return true;
}

bool AsideFile::closeTemporary()
{
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && error_ == 0)
            error_ = errno;
        fd_ = -1;
    }
    return !temporary_.empty() && error_ == 0;
}

bool AsideFile::putInPlace()
{
    if (temporary_.empty() || error_ != 0)
        return false;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        return false;
    }
    temporary_.clear();
    return true;
}

void AsideFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool replaceFileSafely(const std::filesystem::path& path, std::string_view bytes, int* error)
{
    removeStaleTemporaries(path);
    AsideFile file;
    const bool done = file.create(path) && file.write(bytes) && file.commit();
    if (!done && error)
        *error = file.error();
    return done;
}

void FileSet::add(AsideFile&& file)
{
    if (file.error() != 0 || !file.isOpen()) {
        fail(file.target(), file.error());
        return;
    }
    files_.push_back(std::move(file));
}

void FileSet::fail(const std::filesystem::path& target, int error)
{
    if (!failedTarget_) {
        failedTarget_ = target;
        failedError_ = error;
    }
}

bool FileSet::commit()
{
    if (failed()) {
        discard();
        return false;
    }
    // Every temporary is closed first, so that the files go into place in one
    // short run of renames: only a kill landing in those few system calls can
    // leave the files of two runs (each of them whole).
    for (AsideFile& file : files_) {
        if (!file.closeTemporary()) {
            fail(file.target(), file.error());
            discard();
            return false;
        }
    }
    bool inPlace = true;
    for (AsideFile& file : files_) {
        if (!file.putInPlace()) {
            fail(file.target(), file.error());
            inPlace = false;
            break;
        }
    }
    if (!inPlace) {
        discard();
        return false;
    }
    files_.clear();
    return true;
}

void FileSet::discard()
{
    files_.clear();
}

void removeStaleTemporaries(const std::filesystem::path& target, FolderHeld held)
{
    const std::filesystem::path folder = folderOf(target);
    const std::string name = target.filename().string();
    std::filesystem::path legacy = target;
    legacy += std::string(kTemporaryEnd);
    struct stat info {};
    if (::lstat(legacy.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        ::unlink(legacy.c_str());
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (isTemporaryOf(entry, name))
            removeIfAbandoned(it->path(), held == FolderHeld::Yes);
    }
}

namespace seam {
void failWritesAfter(std::optional<std::size_t> bytes)
{
    writeBudget.store(bytes ? static_cast<long long>(*bytes) : -1);
}
}  // namespace seam

}  // namespace tarvel

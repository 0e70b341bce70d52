// Files written beside their place and renamed into it when complete, so
// that a full disk, a kill or a failed step never leaves half a file, nor a
// mix of two runs' files, under a name the user reads.
//
// The temporary is ".NAME.XXXXXX.part" in the target's own folder (a rename
// does not cross file systems), created exclusively and never through a
// link; its writer holds a lock on it for as long as it lives, by which a
// later run tells a temporary left by a killed one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// Why a file could not be read, created or written, in the user's words
// ("нет места на диске"), for an errno value.
std::string fileErrorText(int error);

class AsideFile {
public:
    AsideFile() = default;
    AsideFile(AsideFile&& other) noexcept;
    AsideFile& operator=(AsideFile&& other) noexcept;
    AsideFile(const AsideFile&) = delete;
    AsideFile& operator=(const AsideFile&) = delete;
    ~AsideFile();  // an uncommitted temporary is removed

    // Creates the temporary for target. False (error() says why) when the
    // target is a folder or another thing than a file or a link, or when no
    // file can be created in its folder.
    bool create(const std::filesystem::path& target);
    bool isOpen() const { return fd_ >= 0; }
    // Writes all of bytes; false once anything could not be written.
    bool write(std::string_view bytes);
    // Closes the temporary; false when anything of it could not be written.
    bool finish();
    // Finishes and renames the temporary over the target (a link there is
    // replaced, never followed); false when the file is not in place.
    bool commit();
    // Removes the temporary; the target stays as it was.
    void discard();
    // commit() in two steps, for a set of files: the temporary closed (false
    // when anything of it could not be written), then renamed over the target.
    bool closeTemporary();
    bool putInPlace();

    const std::filesystem::path& target() const { return target_; }
    int error() const { return error_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int error_ = 0;
    bool finished_ = false;
};

// Replaces a file by writing it aside and renaming it into place, so that a
// failed write leaves the old file (or none) and never half a file. error,
// when given, gets why it failed (an errno value).
bool replaceFileSafely(const std::filesystem::path& path, std::string_view bytes, int* error = nullptr);

// Several files of one run put in place together at its end: until commit()
// every target keeps its earlier file, and a set that failed (or is dropped)
// puts none of its files in place.
class FileSet {
public:
    FileSet() = default;
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;
    ~FileSet() { discard(); }

    // A finished file, or the file that could not be written.
    void add(AsideFile&& file);
    void fail(const std::filesystem::path& target, int error);
    bool failed() const { return failedTarget_.has_value(); }
    // The first file that failed, and why.
    const std::filesystem::path& failedTarget() const { return *failedTarget_; }
    int failedError() const { return failedError_; }

    // Renames every file into place, in the order they were added; false
    // when the set had failed or a rename fails (the rest are then removed).
    bool commit();
    void discard();

private:
    std::vector<AsideFile> files_;
    std::optional<std::filesystem::path> failedTarget_;
    int failedError_ = 0;
};

// Removes the temporaries of target that no living writer holds (left by a
// run that was killed), and the "NAME.part" of older builds. In a folder
// that this process holds (its lock taken) none is being created either;
// elsewhere a temporary a moment old is left, as its writer may not have
// locked it yet.
enum class FolderHeld { No, Yes };
void removeStaleTemporaries(const std::filesystem::path& target, FolderHeld held = FolderHeld::No);

namespace seam {
// Every write of an aside file fails once this many more bytes have been
// written, as on a full disk; nullopt writes without a bound again.
void failWritesAfter(std::optional<std::size_t> bytes);
}  // namespace seam

}  // namespace tarvel

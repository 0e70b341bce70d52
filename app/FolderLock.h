// The lock of a working folder, held by one program at a time: the window,
// tarvel-cli or tarvel-study. Two runs in one folder would splice each
// other's working files.
//
// It is the window's own lock, ".tarvel.lock" as Qt's QLockFile writes it
// (the process id, the program's name, the host, the machine's and the
// boot's identity, and an flock on it), so that each of the three sees the
// others'. A lock whose program has ended is taken over.
#pragma once

#include <filesystem>
#include <string>

namespace tarvel::app {

// The name of the lock in the working folder.
inline constexpr const char* kFolderLockFile = ".tarvel.lock";

class FolderLock {
public:
    enum class State {
        Held,         // this process holds the folder
        InUse,        // a running program holds it
        NotWritable,  // no lock can be written there (the folder is used without one)
    };

    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() { release(); }

    // Locks folder for this process.
    State lock(const std::filesystem::path& folder);
    void release();

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Makes the working folder of tarvel-cli or tarvel-study ready for a run:
// creates it when it is missing, locks it, and removes the temporaries of
// working files that a killed run left there. Returns the message that stops
// the run (the folder cannot be created, or a running program holds it), or
// "" when the run may go on.
std::string claimWorkingFolder(const std::filesystem::path& folder, FolderLock& lock);

// Removes the temporaries of working files that a killed run left in a
// folder this process has just locked.
void removeAbandonedTemporaries(const std::filesystem::path& folder);

}  // namespace tarvel::app

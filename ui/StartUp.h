// What the program settles before its window is created: the command line
// and the working folder, where the calculation writes its files and the
// settings file lives.
#pragma once

#include <memory>

#include <QString>
#include <QStringList>

class QLockFile;

namespace tarvel::ui {

struct StartOptions {
    QString workDir;  // --workdir, "~" expanded; empty: the folder the program started in
    QString file;     // the document to open, as an absolute path; empty: none
    bool help = false;
    QString error;    // the first mistake on the command line, in Russian; empty: none
};

// Reads the arguments that follow the program's name. A relative FILE is
// taken from startFolder, since the program may move to its working folder
// before it opens the file; "~" and "~/..." in the folder name stand for
// homeFolder, as a shell would expand them, because a desktop entry does not.
StartOptions parseStartOptions(const QStringList& arguments, const QString& startFolder,
                               const QString& homeFolder);

// The text of tarvel --help.
QString startUsage();

// True when a file can be created in folder.
bool canCreateFileIn(const QString& folder);

// Makes workDir the working folder, creating it when it does not exist (an
// empty workDir keeps the current one), and checks that a file can be
// written there. Returns what to tell the user once at start, or an empty
// text when all is well.
QString prepareWorkingFolder(const QString& workDir);

// The working folder a window holds for as long as it runs, so that two
// windows never write each other's working files.
struct WorkingFolderClaim {
    WorkingFolderClaim();
    WorkingFolderClaim(WorkingFolderClaim&&) noexcept;
    WorkingFolderClaim& operator=(WorkingFolderClaim&&) noexcept;
    ~WorkingFolderClaim();  // releases the folder

    QString folder;       // where this window's working files go
    QString takenFolder;  // the folder asked for, when another window holds it; else empty
    std::unique_ptr<QLockFile> lock;  // null when the folder could not be locked at all
};

// Locks the current folder for this process. When another running window
// holds it, enters the first free folder beside it, "NAME-2", "NAME-3", ...
// (created when missing), which that window then holds. A lock left behind by
// a program that ended is taken over; a folder where no lock can be written
// is used without one.
WorkingFolderClaim claimWorkingFolder();

// What the status bar says of a window working in a folder of its own.
QString workingFolderNotice(const WorkingFolderClaim& claim);

}  // namespace tarvel::ui

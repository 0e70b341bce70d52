#include "ui/StartUp.h"

#include <string>
#include <string_view>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>

#include "app/CommandLine.h"
#include "app/FolderLock.h"

namespace tarvel::ui {

namespace {

QString expandHome(const QString& folder, const QString& homeFolder)
{
    if (folder == QLatin1String("~"))
        return homeFolder;
    if (folder.startsWith(QLatin1String("~/")))
        return homeFolder + folder.mid(1);
    return folder;
}

// The working folder by its name in the home folder, as the menu starts the window.
constexpr std::string_view kHomeWorkDirOption = "--home-workdir";

QString shown(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

// The lock of a working folder; hidden, like other programs' locks.
const QString kFolderLock = QString::fromLatin1(app::kFolderLockFile);

// A folder beside the one asked for gives up after this many: more windows
// than that at once are not a way anybody works.
constexpr int kMaxSideFolders = 99;

std::unique_ptr<QLockFile> lockFolder(const QString& folder, QLockFile::LockError& error)
{
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(kFolderLock));
    // A window may run for days: only the death of its process frees its
    // folder, never the age of the lock.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        error = QLockFile::NoError;
        return lock;
    }
    error = lock->error();
    return nullptr;
}

}  // namespace

// Permission bits do not tell a read-only file system, nor the super-user's
// rights: only a file actually created does.
bool canCreateFileIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarvel-XXXXXX")));
    return probe.open();
}

StartOptions parseStartOptions(const QStringList& arguments, const QString& startFolder,
                               const QString& homeFolder)
{
    StartOptions options;
    auto fail = [&options](const QString& text) {
        if (options.error.isEmpty())
            options.error = text;
    };
    std::vector<std::string> args;
    for (const QString& arg : arguments)
        args.push_back(arg.toStdString());
    const auto kindOf = [](std::string_view name) {
        return name == app::kWorkDirOption || name == kHomeWorkDirOption ? app::OptionKind::WithValue
                                                                          : app::OptionKind::Unknown;
    };
    using Kind = app::Argument::Kind;
    for (const app::Argument& argument : app::splitCommandLine(args, kindOf)) {
        const QString name = QString::fromStdString(argument.name);
        const QString value = QString::fromStdString(argument.value);
        switch (argument.kind) {
        case Kind::Help:
            options.help = true;
            break;
        case Kind::Option:
        case Kind::MissingValue:
            if (value.isEmpty())
                fail(QStringLiteral("не задана рабочая папка"));
            else if (argument.name == kHomeWorkDirOption)
                options.workDir = QDir(homeFolder).filePath(value);
            else
                options.workDir = expandHome(value, homeFolder);
            break;
        case Kind::Input:
            options.file = QDir::cleanPath(QDir(startFolder).absoluteFilePath(value));
            break;
        case Kind::Flag:
        case Kind::Unknown:
            fail(QStringLiteral("неизвестный параметр %1").arg(name));
            break;
        case Kind::Extra:
            fail(QStringLiteral("лишний параметр %1").arg(name));
            break;
        }
    }
    return options;
}

QString startUsage()
{
    return QStringLiteral(
        "Использование: tarvel [--workdir ПАПКА | --home-workdir ИМЯ] [ФАЙЛ.cdu]\n"
        "\n"
        "Расчет потокораспределения электрической сети.\n"
        "\n"
        "  ФАЙЛ.cdu         открыть файл, как это делает команда \"Открыть...\"\n"
        "  --workdir ПАПКА  рабочая папка: файлы расчета network.* и настройки Vetrasol.ini\n"
        "                   (по умолчанию текущая; создается, если ее нет; ~ - домашняя папка)\n"
        "  --home-workdir ИМЯ  рабочая папка ИМЯ в домашней папке (так запускает меню)\n"
        "  -h, --help       показать эту справку\n");
}

QString prepareWorkingFolder(const QString& workDir)
{
    QString problem;
    if (!workDir.isEmpty() && !(QDir().mkpath(workDir) && QDir::setCurrent(workDir)))
        problem = QStringLiteral("Рабочая папка \"%1\" не создана.\n").arg(shown(workDir));
    const QString current = QDir::currentPath();
    if (canCreateFileIn(current)) {
        if (problem.isEmpty())
            return {};
        return problem + QStringLiteral("Файлы расчета и настройки записываются в папку \"%1\".").arg(shown(current));
    }
    return problem +
           QStringLiteral("В рабочую папку \"%1\" невозможно записать файлы: расчет не сможет сохранить "
                          "свои результаты, а настройки не будут сохранены.\n"
                          "Запустите программу из папки, доступной для записи, или укажите ее "
                          "параметром --workdir.")
               .arg(shown(current));
}

WorkingFolderClaim::WorkingFolderClaim() = default;
WorkingFolderClaim::WorkingFolderClaim(WorkingFolderClaim&&) noexcept = default;
WorkingFolderClaim& WorkingFolderClaim::operator=(WorkingFolderClaim&&) noexcept = default;
WorkingFolderClaim::~WorkingFolderClaim() = default;

WorkingFolderClaim claimWorkingFolder()
{
    WorkingFolderClaim claim;
    claim.folder = QDir::currentPath();
    QLockFile::LockError error = QLockFile::NoError;
    claim.lock = lockFolder(claim.folder, error);
    if (claim.lock)
        app::removeAbandonedTemporaries(claim.folder.toStdString());
    // Only a folder that another window holds is left; one where no lock can
    // be written was told at start and is used as it is.
    if (claim.lock || error != QLockFile::LockFailedError)
        return claim;

    const QDir asked(claim.folder);
    QDir parent = asked;
    const QString name = asked.dirName().isEmpty() ? QStringLiteral("Tarvel") : asked.dirName();
    if (!parent.cdUp())
        return claim;
    for (int n = 2; n <= kMaxSideFolders; ++n) {
        const QString side = parent.filePath(QStringLiteral("%1-%2").arg(name).arg(n));
        if (!QDir().mkpath(side))
            break;
        auto lock = lockFolder(side, error);
        if (!lock) {
            if (error == QLockFile::LockFailedError)
                continue;
            break;
        }
        if (!QDir::setCurrent(side))
            break;
        claim.takenFolder = claim.folder;
        claim.folder = QDir::currentPath();
        claim.lock = std::move(lock);
        return claim;
    }
    // No folder of its own could be made beside it: a temporary one keeps the
    // two windows apart all the same.
    const QString temporary = QDir(QDir::tempPath()).filePath(QStringLiteral("tarvel-%1").arg(QCoreApplication::applicationPid()));
    if (QDir().mkpath(temporary) && QDir::setCurrent(temporary)) {
        claim.takenFolder = claim.folder;
        claim.folder = QDir::currentPath();
        claim.lock = lockFolder(claim.folder, error);
    }
    return claim;
}

QString workingFolderNotice(const WorkingFolderClaim& claim)
{
    if (claim.takenFolder.isEmpty())
        return {};
    return QStringLiteral("Файлы расчета в \"%1\": \"%2\" занята другим окном")
        .arg(shown(claim.folder), QDir(claim.takenFolder).dirName());
}

}  // namespace tarvel::ui

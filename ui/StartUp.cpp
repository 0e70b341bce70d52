#include "ui/StartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>

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

// The option name alone, or with its value after '='.
bool isOption(const QString& arg, const char* name)
{
    const QLatin1String option(name);
    return arg == option || (arg.startsWith(option) && arg.size() > option.size() && arg[option.size()] == QLatin1Char('='));
}

QString shown(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

// The lock of a working folder; hidden, like other programs' locks.
const QString kFolderLock = QStringLiteral(".tarvel.lock");

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
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (!optionsEnded && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--")) {
                optionsEnded = true;
            } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
                options.help = true;
            } else if (isOption(arg, "--workdir") || isOption(arg, "--home-workdir")) {
                QString value;
                if (arg.contains(QLatin1Char('=')))
                    value = arg.section(QLatin1Char('='), 1);
                else if (i + 1 < arguments.size())
                    value = arguments[++i];
                if (value.isEmpty())
                    fail(QStringLiteral("не задана рабочая папка"));
                else if (isOption(arg, "--home-workdir"))
                    options.workDir = QDir(homeFolder).filePath(value);
                else
                    options.workDir = expandHome(value, homeFolder);
            } else {
                fail(QStringLiteral("неизвестный параметр %1").arg(arg));
            }
        } else if (options.file.isEmpty()) {
            options.file = QDir::cleanPath(QDir(startFolder).absoluteFilePath(arg));
        } else {
            fail(QStringLiteral("лишний параметр %1").arg(arg));
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
